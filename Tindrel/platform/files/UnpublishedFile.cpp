#include "Tindrel/platform/files/UnpublishedFile.h"

#include "Tindrel/platform/files/NewFileWriting.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <random>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tindrel::platform {

namespace {

constexpr std::string_view hiddenPrefix = ".tindrel.";
constexpr std::string_view hiddenSuffix = ".tmp";
constexpr size_t hiddenDigits = 16;
constexpr size_t hostDigits = 8;
constexpr int lastNumber = 9999;
constexpr int hiddenNameAttempts = 100;

bool isHex(std::string_view digits, size_t count) {
    return digits.size() == count &&
           digits.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// Stands for this machine in the names of files that carry no lock: a folder on a network
// share may hold files of writers on other machines, whose process ids mean nothing here.
uint32_t hostTag() {
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    uint32_t hash = 2166136261u;
    for (const char* at = name; *at; ++at)
        hash = (hash ^ static_cast<unsigned char>(*at)) * 16777619u;
    return hash;
}

// ".tindrel.<16 hex digits>.tmp" for a file its writer holds locked; where locks do not work,
// ".tindrel.<8 hex digits of the host>.<writer's process id>.<16 hex digits>.tmp".
std::filesystem::path hiddenName(const std::filesystem::path& folder, bool held) {
    uint64_t random = 0;
    if (::getrandom(&random, sizeof random, 0) != ssize_t(sizeof random))
        random = std::random_device{}() * 0x100000000ull + std::random_device{}();
    const std::string digits = formatNumber("%016llx", static_cast<unsigned long long>(random));
    const std::string writer =
        held ? std::string() : formatNumber("%08x.%d.", hostTag(), static_cast<int>(::getpid()));
    return folder / (std::string(hiddenPrefix) + writer + digits + std::string(hiddenSuffix));
}

// The writer of a hidden name of the unlocked pattern on this machine; none for any other name.
std::optional<pid_t> localWriter(std::string_view name) {
    if (!name.starts_with(hiddenPrefix) || !name.ends_with(hiddenSuffix))
        return std::nullopt;
    name =
        name.substr(hiddenPrefix.size(), name.size() - hiddenPrefix.size() - hiddenSuffix.size());
    const size_t firstDot = name.find('.');
    const size_t lastDot = name.rfind('.');
    if (firstDot == std::string_view::npos || firstDot == lastDot ||
        !isHex(name.substr(0, firstDot), hostDigits) ||
        !isHex(name.substr(lastDot + 1), hiddenDigits))
        return std::nullopt;
    const std::string_view pid = name.substr(firstDot + 1, lastDot - firstDot - 1);
    const std::optional<double> writer = parseNumber(pid);
    // Only the digits formatNumber writes: no sign, no blanks, no leading zero.
    if (!writer || *writer < 1 || *writer > std::numeric_limits<pid_t>::max() ||
        formatNumber("%d", static_cast<int>(*writer)) != pid ||
        formatNumber("%08x", hostTag()) != name.substr(0, firstDot))
        return std::nullopt;
    return static_cast<pid_t>(*writer);
}

// Errors of flock that say the file system takes no locks at all (NFS without its lock
// service, some FUSE file systems), rather than that this file is taken.
bool locksDoNotWork(int error) {
    return error == ENOLCK || error == EINVAL || error == EOPNOTSUPP || error == ENOSYS;
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

// Holds a new file at once: 0, or why not. A clean-up that slipped in between making and
// locking the file removed its name, which the link count then shows (ENOENT).
int holdNew(int fd) {
    struct stat info {};
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0 || ::fstat(fd, &info) != 0)
        return errno;
    return info.st_nlink > 0 ? 0 : ENOENT;
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
        const bool held = ::flock(unnamed.get(), LOCK_SH) == 0;
        return UnpublishedFile(std::move(unnamed), folder, {}, held);
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        failed(error, std::strerror(errno));
        return std::nullopt;
    }
    bool locksWork = true;
    int reason = EEXIST;
    for (int attempt = 0; attempt < hiddenNameAttempts; ++attempt) {
        std::filesystem::path path;
        FileDescriptor named = createNewFile([&] { return hiddenName(folder, locksWork); },
                                             O_RDWR | O_NOFOLLOW, mode, path);
        if (!named.valid()) {
            failed(error, std::strerror(errno));
            return std::nullopt;
        }
        if (!locksWork)
            return UnpublishedFile(std::move(named), folder, path, false);
        reason = holdNew(named.get());
        if (reason == 0)
            return UnpublishedFile(std::move(named), folder, path, true);
        // Of no use unheld under a name that only a lock keeps from the clean-up: it goes now,
        // and where locks do not work the next one is named after its writer instead.
        if (reason != ENOENT)
            ::unlink(path.c_str());
        locksWork = !locksDoNotWork(reason);
    }
    failed(error, std::strerror(reason));
    return std::nullopt;
}

UnpublishedFile::UnpublishedFile(FileDescriptor file, std::filesystem::path folder,
                                 std::filesystem::path hiddenPath, bool held)
    : file_(std::move(file)), folder_(std::move(folder)), hiddenPath_(std::move(hiddenPath)),
      held_(held) {}

UnpublishedFile::UnpublishedFile(UnpublishedFile&& other) noexcept
    : file_(std::move(other.file_)), folder_(std::move(other.folder_)),
      hiddenPath_(std::move(other.hiddenPath_)), held_(other.held_), published_(other.published_) {
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
        const std::filesystem::path candidate = hiddenName(folder_, held_);
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
    return (name.size() == hiddenPrefix.size() + hiddenDigits + hiddenSuffix.size() &&
            name.starts_with(hiddenPrefix) && name.ends_with(hiddenSuffix) &&
            isHex(name.substr(hiddenPrefix.size(), hiddenDigits), hiddenDigits)) ||
           localWriter(name).has_value();
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
        // A file that carries no lock is its writer's while that process lives.
        if (const std::optional<pid_t> writer = localWriter(entry->d_name)) {
            if (::kill(*writer, 0) != 0 && errno == ESRCH)
                ::unlinkat(folderFd, entry->d_name, 0);
            continue;
        }
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
