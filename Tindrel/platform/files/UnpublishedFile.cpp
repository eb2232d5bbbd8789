#include "Tindrel/platform/files/UnpublishedFile.h"

#include "Tindrel/platform/files/NewFileWriting.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tindrel::platform {

namespace {

constexpr std::string_view hiddenPrefix = ".tindrel.";
constexpr std::string_view hiddenSuffix = ".tmp";
constexpr size_t hiddenDigits = 16;
constexpr int lastNumber = 9999;
constexpr int hiddenNameAttempts = 100;

std::filesystem::path hiddenName(const std::filesystem::path& folder) {
    uint64_t random = 0;
    if (::getrandom(&random, sizeof random, 0) != ssize_t(sizeof random))
        random = std::random_device{}() * 0x100000000ull + std::random_device{}();
    char digits[hiddenDigits + 1];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(random));
    return folder / (std::string(hiddenPrefix) + digits + std::string(hiddenSuffix));
}

std::filesystem::path numbered(const std::filesystem::path& named, int number) {
    if (number == 1)
        return named;
    std::filesystem::path name = named.stem();
    name += formatNumber(" (%d)", number);
    name += named.extension();
    return named.parent_path() / name;
}

bool failed(std::string* error, const std::string& reason) {
    if (error)
        *error = reason;
    return false;
}

// Makes the new name itself last through a crash; the file is complete either way.
void syncFolder(const std::filesystem::path& folder) {
    const FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.valid())
        ::fsync(directory.get());
}

// Held at once; a clean-up that slipped in between making and locking the file removed its
// name, which the link count then shows.
bool holdNew(int fd) {
    struct stat info {};
    return ::flock(fd, LOCK_SH | LOCK_NB) == 0 && ::fstat(fd, &info) == 0 && info.st_nlink > 0;
}

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

} // namespace

std::optional<UnpublishedFile> UnpublishedFile::create(const std::filesystem::path& folder,
                                                       mode_t mode, std::string* error) {
    removeLeftovers(folder);
    FileDescriptor unnamed(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode));
    if (unnamed.valid()) {
        ::flock(unnamed.get(), LOCK_SH);
        return UnpublishedFile(std::move(unnamed), folder, {});
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        failed(error, std::strerror(errno));
        return std::nullopt;
    }
    for (int attempt = 0; attempt < hiddenNameAttempts; ++attempt) {
        std::filesystem::path path;
        FileDescriptor named =
            createNewFile([&] { return hiddenName(folder); }, O_RDWR | O_NOFOLLOW, mode, path);
        if (!named.valid()) {
            failed(error, std::strerror(errno));
            return std::nullopt;
        }
        if (holdNew(named.get()))
            return UnpublishedFile(std::move(named), folder, path);
    }
    failed(error, std::strerror(EEXIST));
    return std::nullopt;
}

UnpublishedFile::UnpublishedFile(FileDescriptor file, std::filesystem::path folder,
                                 std::filesystem::path hiddenPath)
    : file_(std::move(file)), folder_(std::move(folder)), hiddenPath_(std::move(hiddenPath)) {}

UnpublishedFile::UnpublishedFile(UnpublishedFile&& other) noexcept
    : file_(std::move(other.file_)), folder_(std::move(other.folder_)),
      hiddenPath_(std::move(other.hiddenPath_)), published_(other.published_) {
    other.hiddenPath_.clear();
}

UnpublishedFile::~UnpublishedFile() {
    if (!published_ && !hiddenPath_.empty())
        ::unlink(hiddenPath_.c_str());
}

std::string UnpublishedFile::procPath() const {
    return "/proc/self/fd/" + std::to_string(file_.get());
}

std::string UnpublishedFile::pathForWriting() const {
    return hiddenPath_.empty() ? procPath() : hiddenPath_.string();
}

bool UnpublishedFile::placeWithoutReplacing(const std::filesystem::path& target) {
    if (hiddenPath_.empty())
        return ::linkat(AT_FDCWD, procPath().c_str(), AT_FDCWD, target.c_str(),
                        AT_SYMLINK_FOLLOW) == 0;
    if (::renameat2(AT_FDCWD, hiddenPath_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    // The file system cannot rename without replacing: a link fails on an existing name.
    if (::link(hiddenPath_.c_str(), target.c_str()) != 0)
        return false;
    ::unlink(hiddenPath_.c_str());
    return true;
}

std::optional<std::filesystem::path> UnpublishedFile::publishUnderFreeName(
    const std::filesystem::path& named,
    const std::function<TakenName(const std::filesystem::path&)>& taken, std::string* error) {
    for (int number = 1; number <= lastNumber; ++number) {
        const std::filesystem::path candidate = numbered(named, number);
        if (placeWithoutReplacing(candidate)) {
            published_ = true;
            syncFolder(folder_);
            return candidate;
        }
        if (errno != EEXIST) {
            failed(error, std::strerror(errno));
            return std::nullopt;
        }
        switch (taken ? taken(candidate) : TakenName::skip) {
        case TakenName::skip:
            break;
        case TakenName::replace:
            if (!publishReplacing(candidate, error))
                return std::nullopt;
            return candidate;
        case TakenName::giveUp:
            if (error)
                error->clear();
            return std::nullopt;
        }
    }
    failed(error, "every name for " + named.filename().string() + " is taken");
    return std::nullopt;
}

bool UnpublishedFile::nameHidden(std::string* error) {
    if (!hiddenPath_.empty())
        return true;
    for (int attempt = 0; attempt < hiddenNameAttempts; ++attempt) {
        const std::filesystem::path candidate = hiddenName(folder_);
        if (::linkat(AT_FDCWD, procPath().c_str(), AT_FDCWD, candidate.c_str(),
                     AT_SYMLINK_FOLLOW) == 0) {
            hiddenPath_ = candidate;
            return true;
        }
        if (errno != EEXIST)
            return failed(error, std::strerror(errno));
    }
    return failed(error, std::strerror(EEXIST));
}

bool UnpublishedFile::publishReplacing(const std::filesystem::path& target, std::string* error) {
    // The complete file gets a hidden name first and is renamed over the target in one step.
    if (!nameHidden(error))
        return false;
    if (::rename(hiddenPath_.c_str(), target.c_str()) != 0)
        return failed(error, std::strerror(errno));
    published_ = true;
    syncFolder(folder_);
    return true;
}

std::optional<std::filesystem::path> UnpublishedFile::publishUnderHiddenName(std::string* error) {
    if (!nameHidden(error))
        return std::nullopt;
    published_ = true;
    return hiddenPath_;
}

FileDescriptor UnpublishedFile::release() {
    return std::move(file_);
}

bool UnpublishedFile::isLeftoverName(std::string_view name) {
    if (name.size() != hiddenPrefix.size() + hiddenDigits + hiddenSuffix.size() ||
        !name.starts_with(hiddenPrefix) || !name.ends_with(hiddenSuffix))
        return false;
    return name.substr(hiddenPrefix.size(), hiddenDigits).find_first_not_of("0123456789abcdef") ==
           std::string_view::npos;
}

void UnpublishedFile::removeLeftovers(const std::filesystem::path& folder) {
    std::unique_ptr<DIR, DirectoryCloser> directory(::opendir(folder.c_str()));
    if (!directory)
        return;
    const int folderFd = ::dirfd(directory.get());
    while (const dirent* entry = ::readdir(directory.get())) {
        if (!isLeftoverName(entry->d_name))
            continue;
        struct stat seen {};
        if (::fstatat(folderFd, entry->d_name, &seen, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(seen.st_mode) || seen.st_uid != ::geteuid())
            continue;
        // Only while no writer or user holds it, and only the file that was looked at.
        const FileDescriptor file(
            ::openat(folderFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat held {};
        if (file.valid() && ::flock(file.get(), LOCK_EX | LOCK_NB) == 0 &&
            ::fstat(file.get(), &held) == 0 && held.st_ino == seen.st_ino &&
            held.st_dev == seen.st_dev)
            ::unlinkat(folderFd, entry->d_name, 0);
    }
}

} // namespace tindrel::platform
