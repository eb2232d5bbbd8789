#include "Tindrel/analysis/PcmCache.h"

#include "Tindrel/platform/files/UnpublishedFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace tindrel {
namespace {

constexpr size_t maximumBaseLength = 160;

bool isPrivateFolder(const std::filesystem::path& folder) {
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The private folder of this process: removed with its copies when the program ends
// normally, since no later run can know its name.
struct PrivateFolder {
    std::mutex mutex;
    std::filesystem::path path;
    ~PrivateFolder() {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }
};

std::optional<std::filesystem::path> processPrivateFolder() {
    static PrivateFolder folder;
    std::lock_guard lock(folder.mutex);
    if (!folder.path.empty() && isPrivateFolder(folder.path))
        return folder.path;
    std::error_code ignored;
    std::string pattern =
        (std::filesystem::temp_directory_path(ignored) / "tindrel-pcm-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        return std::nullopt;
    folder.path = pattern;
    return folder.path;
}

int64_t nanoseconds(const struct timespec& time) {
    return int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
}

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

// Removes `name` from the folder only while nobody holds it and it is still the file that was
// looked at.
bool removeUnheld(int folderFd, const char* name, const struct stat& seen) {
    platform::FileDescriptor file(
        ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!file.valid() || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0 ||
        ::fstat(file.get(), &info) != 0 || info.st_ino != seen.st_ino || info.st_dev != seen.st_dev)
        return false;
    return ::unlinkat(folderFd, name, 0) == 0;
}

uint64_t fnv1a(const std::string& text) {
    uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

// Length of the UTF-8 sequence that starts with `lead`; a stray byte counts as one.
size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF7)
        return 4;
    if (lead >= 0xE0)
        return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2)
        return 2;
    return 1;
}

} // namespace

std::optional<std::filesystem::path> PcmCache::folder() const {
    ::mkdir(sharedFolder_.c_str(), 0700);
    if (isPrivateFolder(sharedFolder_))
        return sharedFolder_;
    return processPrivateFolder();
}

std::optional<std::filesystem::path> PcmCache::privateFolder() {
    return processPrivateFolder();
}

std::string PcmCache::sanitisedBaseName(const std::filesystem::path& source) {
    const std::string stem = source.stem().string();
    std::string base;
    for (size_t i = 0; i < stem.size() && base.size() < maximumBaseLength;) {
        const auto c = static_cast<unsigned char>(stem[i]);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        base += plain ? char(c) : '_';
        size_t step = plain ? 1 : sequenceLength(c);
        // Only whole continuation bytes belong to the code point.
        size_t taken = 1;
        while (taken < step && i + taken < stem.size() &&
               (static_cast<unsigned char>(stem[i + taken]) & 0xC0) == 0x80)
            ++taken;
        i += taken;
    }
    return base;
}

PcmCache::SourceIdentity PcmCache::SourceIdentity::of(const struct stat& info) {
    return {int64_t(info.st_size), nanoseconds(info.st_mtim), uint64_t(info.st_dev),
            uint64_t(info.st_ino), nanoseconds(info.st_ctim)};
}

std::string PcmCache::cacheFileName(const std::filesystem::path& absoluteSource,
                                    const SourceIdentity& identity) {
    const std::string key =
        absoluteSource.string() + '\0' + std::to_string(identity.modifiedNanoseconds) + '\0' +
        std::to_string(identity.device) + '\0' + std::to_string(identity.inode) + '\0' +
        std::to_string(identity.changedNanoseconds);
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(fnv1a(key)));
    return sanitisedBaseName(absoluteSource) + "_" + std::to_string(identity.sizeBytes) + "_" +
           hash + ".wav";
}

platform::FileDescriptor PcmCache::hold(const std::filesystem::path& copy) {
    platform::FileDescriptor file(
        ::open(copy.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!file.valid() || ::flock(file.get(), LOCK_SH | LOCK_NB) != 0 ||
        ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink == 0)
        return {};
    // The modification time is the copy's last use, which trim() goes by.
    ::futimens(file.get(), nullptr);
    return file;
}

int64_t PcmCache::freeBytes(const std::filesystem::path& folder) {
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0)
        return -1;
    return int64_t(info.f_bavail) * int64_t(info.f_frsize);
}

void PcmCache::trim(const std::filesystem::path& folder, int64_t limitBytes) {
    platform::UnpublishedFile::removeLeftovers(folder);
    std::unique_ptr<DIR, DirectoryCloser> directory(::opendir(folder.c_str()));
    if (!directory)
        return;
    const int folderFd = ::dirfd(directory.get());
    struct Copy {
        std::string name;
        struct stat info;
    };
    std::vector<Copy> copies;
    int64_t total = 0;
    while (const dirent* entry = ::readdir(directory.get())) {
        const std::string_view name = entry->d_name;
        if (name.front() == '.' || name.size() < 4 || name.substr(name.size() - 4) != ".wav")
            continue;
        struct stat info {};
        if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
            continue;
        total += int64_t(info.st_size);
        copies.push_back({entry->d_name, info});
    }
    std::sort(copies.begin(), copies.end(), [](const Copy& a, const Copy& b) {
        return nanoseconds(a.info.st_mtim) < nanoseconds(b.info.st_mtim);
    });
    for (const Copy& copy : copies) {
        if (total <= limitBytes)
            break;
        if (removeUnheld(folderFd, copy.name.c_str(), copy.info))
            total -= int64_t(copy.info.st_size);
    }
}

} // namespace tindrel
