#include "Tindrel/platform/audio/OpenedFileCursor.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace tindrel::platform {

std::unique_ptr<OpenedFileCursor>
OpenedFileCursor::openRegularFile(const std::filesystem::path& path, std::string* error) {
    FileDescriptor file = FileDescriptor::openRegularForReading(path, error);
    if (!file.valid())
        return nullptr;
    return std::make_unique<OpenedFileCursor>(
        std::make_shared<const FileDescriptor>(std::move(file)));
}

int64_t OpenedFileCursor::read(void* data, size_t size) {
    for (;;) {
        const ssize_t got = ::pread(file_->get(), data, size, static_cast<off_t>(offset_));
        if (got >= 0) {
            offset_ += got;
            return got;
        }
        if (errno != EINTR)
            return -1;
    }
}

int64_t OpenedFileCursor::seek(int64_t offset, int whence) {
    int64_t base = 0;
    if (whence == SEEK_CUR)
        base = offset_;
    else if (whence == SEEK_END)
        base = size();
    else if (whence != SEEK_SET)
        return -1;
    // Offsets come from file headers, which may claim anything (2^63 frames).
    int64_t target = 0;
    if (base < 0 || __builtin_add_overflow(base, offset, &target) || target < 0)
        return -1;
    offset_ = target;
    return offset_;
}

int64_t OpenedFileCursor::size() const {
    struct stat info {};
    return ::fstat(file_->get(), &info) == 0 ? int64_t(info.st_size) : -1;
}

} // namespace tindrel::platform
