#include "Tindrel/platform/files/NewFileWriting.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tindrel::platform {

namespace {

constexpr int nameAttempts = 100;

} // namespace

FileDescriptor createNewFile(const std::function<std::filesystem::path()>& candidate, int flags,
                             mode_t mode, std::filesystem::path& created) {
    for (int attempt = 0; attempt < nameAttempts; ++attempt) {
        created = candidate();
        FileDescriptor file(::open(created.c_str(), O_CREAT | O_EXCL | O_CLOEXEC | flags, mode));
        if (file.valid() || errno != EEXIST)
            return file;
    }
    errno = EEXIST;
    return FileDescriptor();
}

bool writeWhole(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0)
            errno = ENOSPC;
        if (written <= 0)
            return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace tindrel::platform
