#include "Tindrel/shell/LaunchArguments.h"

#include <system_error>

namespace tindrel {

bool LaunchArguments::hasBackgroundFlag(const QStringList& arguments) {
    return arguments.contains(QStringLiteral("--background"));
}

std::optional<std::filesystem::path>
LaunchArguments::firstOpenablePath(const QStringList& arguments,
                                   const std::filesystem::path& workingFolder) {
    for (const QString& argument : arguments) {
        if (argument.isEmpty() || argument.startsWith(QLatin1Char('-')))
            continue;
        const std::filesystem::path path =
            (workingFolder / std::filesystem::path(argument.toStdString())).lexically_normal();
        std::error_code error;
        if (std::filesystem::exists(path, error))
            return path;
    }
    return std::nullopt;
}

} // namespace tindrel
