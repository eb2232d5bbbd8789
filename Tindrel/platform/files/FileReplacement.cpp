#include "Tindrel/platform/files/FileReplacement.h"

#include "Tindrel/platform/audio/FileDescriptor.h"
#include "Tindrel/platform/audio/NewFileWriting.h"
#include "Tindrel/platform/audio/StaleTemporaryFiles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tindrel::platform {

namespace {

constexpr std::string_view temporarySuffixCharacters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t temporarySuffixLength = 6;

std::string failure(const std::string& what, int code) {
    return what + ": " + std::strerror(code);
}

bool isTemporaryOf(std::string_view name, std::string_view fileName) {
    if (name.size() != fileName.size() + 1 + temporarySuffixLength || !name.starts_with(fileName) ||
        name[fileName.size()] != '.')
        return false;
    return name.substr(fileName.size() + 1).find_first_not_of(temporarySuffixCharacters) ==
           std::string_view::npos;
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

// A new file beside `target`, named <name>.XXXXXX; created with 0666 less the umask.
std::optional<std::pair<FileDescriptor, std::filesystem::path>>
createTemporaryBeside(const std::filesystem::path& target, std::string* error) {
    std::random_device randomness;
    std::uniform_int_distribution<size_t> pick(0, temporarySuffixCharacters.size() - 1);
    const auto candidate = [&] {
        std::string name = target.filename().string() + ".";
        for (size_t i = 0; i < temporarySuffixLength; ++i)
            name += temporarySuffixCharacters[pick(randomness)];
        return target.parent_path() / name;
    };
    std::filesystem::path temporary;
    FileDescriptor file = createNewFile(candidate, O_WRONLY, 0666, temporary);
    if (file.valid())
        return std::pair(std::move(file), std::move(temporary));
    *error = errno == EEXIST ? target.string() + ": no free temporary name"
                             : failure(temporary.string(), errno);
    return std::nullopt;
}

// Makes the rename itself last through a crash. The new file is complete either way, so a
// failure here changes nothing for the caller.
void syncFolder(const std::filesystem::path& folder) {
    const FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.valid())
        ::fsync(directory.get());
}

} // namespace

bool replaceFileContents(const std::filesystem::path& path, std::string_view contents,
                         std::string* error) {
    std::string ignored;
    std::string& reason = error ? *error : ignored;
    const std::optional<WriteTarget> target = writeTarget(path, &reason);
    if (!target)
        return false;
    const std::filesystem::path folder = target->path.parent_path();
    const std::string fileName = target->path.filename().string();
    removeStaleTemporaryFiles(folder,
                              [&](std::string_view name) { return isTemporaryOf(name, fileName); });

    auto temporary = createTemporaryBeside(target->path, &reason);
    if (!temporary)
        return false;
    auto& [file, temporaryPath] = *temporary;
    const auto fail = [&](const char* step) {
        reason = failure(std::string(step) + " " + temporaryPath.string(), errno);
        ::unlink(temporaryPath.c_str());
        return false;
    };
    if (target->mode && ::fchmod(file.get(), *target->mode) != 0)
        return fail("cannot set the mode of");
    if (!writeWhole(file.get(), contents.data(), contents.size()))
        return fail("cannot write");
    if (::fsync(file.get()) != 0)
        return fail("cannot flush");
    if (::close(file.release()) != 0)
        return fail("cannot close");
    if (::rename(temporaryPath.c_str(), target->path.c_str()) != 0)
        return fail("cannot rename");
    syncFolder(folder);
    return true;
}

} // namespace tindrel::platform
