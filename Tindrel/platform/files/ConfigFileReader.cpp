#include "Tindrel/platform/files/ConfigFileReader.h"

#include "Tindrel/platform/files/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tindrel::platform {

namespace {

ConfigFileContents unusable(const std::filesystem::path& path, std::string problem) {
    static std::mutex mutex;
    static std::set<std::filesystem::path> named;
    {
        const std::lock_guard lock(mutex);
        if (named.insert(path).second)
            std::fprintf(stderr, "tindrel: ignoring %s: %s\n", path.c_str(), problem.c_str());
    }
    return {ConfigFileContents::State::unusable, {}, std::move(problem)};
}

} // namespace

ConfigFileContents readConfigFile(const std::filesystem::path& path, std::size_t maximumBytes) {
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {};
        return unusable(path, std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        return unusable(path, std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return unusable(path, "not a regular file");
    const std::string tooLarge = "larger than " + std::to_string(maximumBytes) + " bytes";
    if (static_cast<std::size_t>(info.st_size) > maximumBytes)
        return unusable(path, tooLarge);

    // Read to the end: one byte past the bound tells a file that grew since fstat.
    std::string bytes(static_cast<std::size_t>(info.st_size) + 1, '\0');
    std::size_t length = 0;
    while (length <= maximumBytes) {
        if (length == bytes.size())
            bytes.resize(std::min(bytes.size() * 2, maximumBytes + 1));
        const ssize_t n = ::read(file.get(), bytes.data() + length, bytes.size() - length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return unusable(path, std::strerror(errno));
        if (n == 0)
            break;
        length += static_cast<std::size_t>(n);
    }
    if (length > maximumBytes)
        return unusable(path, tooLarge);
    bytes.resize(length);
    return {ConfigFileContents::State::read, std::move(bytes), {}};
}

} // namespace tindrel::platform
