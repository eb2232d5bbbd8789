#pragma once

// A read position of its own in a file that stays open: every cursor over the same opened
// file reads it through the one shared descriptor with pread(), so readers on different
// threads never move each other's position, and a file that is moved, renamed or deleted
// after the open stays readable for as long as any cursor holds it. Opening it again by path
// is never needed.
// One thread at a time per cursor; the shared descriptor itself is never changed.

#include "Tindrel/platform/files/FileDescriptor.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace tindrel::platform {

class OpenedFileCursor {
public:
    explicit OpenedFileCursor(std::shared_ptr<const FileDescriptor> file)
        : file_(std::move(file)) {}

    // A cursor over a regular file opened as FileDescriptor::openRegularForReading does;
    // none (and `error` set) when that fails.
    static std::unique_ptr<OpenedFileCursor> openRegularFile(const std::filesystem::path& path,
                                                             std::string* error);

    // A new cursor at offset 0 over the same opened file.
    std::unique_ptr<OpenedFileCursor> fresh() const {
        return std::make_unique<OpenedFileCursor>(file_);
    }

    const std::shared_ptr<const FileDescriptor>& file() const { return file_; }
    int descriptor() const { return file_->get(); }

    // Bytes read into `data` (0 at the end); -1 on a read error.
    int64_t read(void* data, size_t size);
    // As lseek(): the new offset, or -1 for an invalid one.
    int64_t seek(int64_t offset, int whence);
    int64_t tell() const { return offset_; }
    // The file's current size in bytes; -1 when it cannot be read.
    int64_t size() const;

private:
    std::shared_ptr<const FileDescriptor> file_;
    int64_t offset_ = 0;
};

} // namespace tindrel::platform
