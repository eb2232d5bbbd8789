#include "Tindrel/platform/files/FileReplacement.h"

#include "Tindrel/platform/files/NewFileWriting.h"
#include "Tindrel/platform/files/UnpublishedFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace tindrel::platform {

namespace {

std::string failure(const std::string& what, int code) {
    return what + ": " + std::strerror(code);
}

struct WriteTarget {
    std::filesystem::path path;
    std::optional<mode_t> mode; // of the file replaced; none for a new file
};

// The file a write replaces: a symbolic link's target, so that the link survives.
std::optional<WriteTarget> writeTarget(const std::filesystem::path& path, std::string* error) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return WriteTarget{path, std::nullopt};
        *error = failure(path.string(), errno);
        return std::nullopt;
    }
    std::filesystem::path target = path;
    if (S_ISLNK(info.st_mode)) {
        const std::unique_ptr<char, decltype(&std::free)> resolved(
            ::realpath(path.c_str(), nullptr), &std::free);
        if (!resolved || ::stat(resolved.get(), &info) != 0) {
            *error = path.string() + ": a symbolic link to nothing";
            return std::nullopt;
        }
        target = resolved.get();
    }
    if (!S_ISREG(info.st_mode)) {
        *error = path.string() + ": not a regular file";
        return std::nullopt;
    }
    return WriteTarget{target, info.st_mode & 07777};
}

} // namespace

bool replaceFileContents(const std::filesystem::path& path, std::string_view contents,
                         std::string* error) {
    std::string ignored;
    std::string& reason = error ? *error : ignored;
    const std::optional<WriteTarget> target = writeTarget(path, &reason);
    if (!target)
        return false;
    std::optional<UnpublishedFile> file =
        UnpublishedFile::create(target->path.parent_path(), 0666, &reason);
    if (!file) {
        reason = target->path.string() + ": " + reason;
        return false;
    }
    const auto fail = [&](const char* step) {
        reason = failure(std::string(step) + " " + target->path.string(), errno);
        return false;
    };
    if (target->mode && ::fchmod(file->descriptor(), *target->mode) != 0)
        return fail("cannot set the mode of");
    if (!writeWhole(file->descriptor(), contents.data(), contents.size()))
        return fail("cannot write");
    if (::fsync(file->descriptor()) != 0)
        return fail("cannot flush");
    std::string publishing;
    if (!file->publishReplacing(target->path, &publishing)) {
        reason = "cannot rename over " + target->path.string() + ": " + publishing;
        return false;
    }
    return true;
}

} // namespace tindrel::platform
