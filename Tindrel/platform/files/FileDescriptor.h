#pragma once

// An owned POSIX file descriptor, closed on destruction. Move-only; one thread at a time.

#include <filesystem>
#include <string>

namespace tindrel::platform {

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    // Opens `path` read-only if it is a regular file (symbolic links followed). A FIFO, a
    // device or a folder is refused without blocking. Invalid descriptor and `error` set
    // on failure.
    static FileDescriptor openRegularForReading(const std::filesystem::path& path,
                                                std::string* error = nullptr);

    bool valid() const { return fd_ >= 0; }
    int get() const { return fd_; }
    // Gives up ownership; the caller closes the descriptor.
    int release();

private:
    int fd_ = -1;
};

// True when `path` names a regular file (symbolic links followed).
bool isRegularFile(const std::filesystem::path& path);

} // namespace tindrel::platform
