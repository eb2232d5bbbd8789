#include "Tindrel/shell/LaunchArguments.h"

#include <system_error>

namespace tindrel {

bool LaunchArguments::hasBackgroundFlag(const QByteArrayList& arguments) {
    return arguments.contains("--background");
}

std::filesystem::path LaunchArguments::resolvedPath(const QByteArray& argument,
                                                    const std::filesystem::path& workingFolder) {
    return (workingFolder / std::string(argument.constData(), argument.size())).lexically_normal();
}

std::optional<std::filesystem::path>
LaunchArguments::firstOpenablePath(const QByteArrayList& arguments,
                                   const std::filesystem::path& workingFolder) {
    for (const QByteArray& argument : arguments) {
        if (argument.isEmpty() || argument.startsWith('-'))
            continue;
        const std::filesystem::path path = resolvedPath(argument, workingFolder);
        std::error_code error;
        if (std::filesystem::exists(path, error))
            return path;
    }
    return std::nullopt;
}

} // namespace tindrel
