#include "Tindrel/analysis/DecodedCopyFile.h"

#include "Tindrel/platform/audio/NewFileWriting.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tindrel {

namespace {

// ".<stem>-<6 letters or digits>.wav", the pattern PcmCache::isTemporaryName() knows.
std::filesystem::path hiddenName(const std::filesystem::path& folder, const std::string& stem) {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static thread_local std::mt19937 random{std::random_device{}()};
    std::string letters(6, 'x');
    for (char& letter : letters)
        letter = alphabet[random() % (sizeof alphabet - 1)];
    return folder / ("." + stem + "-" + letters + ".wav");
}

std::string stemOf(const std::string& cacheFileName) {
    return std::filesystem::path(cacheFileName).stem().string();
}

// Held at once; a clean-up that slipped in between creating and locking removed the name,
// which the link count then shows.
bool holdNew(int fd) {
    struct stat info {};
    return ::flock(fd, LOCK_SH | LOCK_NB) == 0 && ::fstat(fd, &info) == 0 && info.st_nlink > 0;
}

} // namespace

std::optional<DecodedCopyFile> DecodedCopyFile::create(const std::filesystem::path& folder,
                                                       const std::string& cacheFileName) {
    platform::FileDescriptor unnamed(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (unnamed.valid()) {
        ::flock(unnamed.get(), LOCK_SH);
        return DecodedCopyFile(std::move(unnamed), {});
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return std::nullopt;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path path;
        platform::FileDescriptor named =
            platform::createNewFile([&] { return hiddenName(folder, stemOf(cacheFileName)); },
                                    O_RDWR | O_NOFOLLOW, 0600, path);
        if (!named.valid())
            return std::nullopt;
        if (holdNew(named.get()))
            return DecodedCopyFile(std::move(named), path);
    }
    return std::nullopt;
}

DecodedCopyFile::DecodedCopyFile(platform::FileDescriptor file, std::filesystem::path temporaryPath)
    : file_(std::move(file)), temporaryPath_(std::move(temporaryPath)) {}

DecodedCopyFile::DecodedCopyFile(DecodedCopyFile&& other) noexcept
    : file_(std::move(other.file_)), temporaryPath_(std::move(other.temporaryPath_)),
      published_(other.published_) {
    other.temporaryPath_.clear();
}

DecodedCopyFile::~DecodedCopyFile() {
    if (!published_ && !temporaryPath_.empty())
        ::unlink(temporaryPath_.c_str());
}

std::string DecodedCopyFile::pathForWriting() const {
    return temporaryPath_.empty() ? "/proc/self/fd/" + std::to_string(file_.get())
                                  : temporaryPath_.string();
}

int64_t DecodedCopyFile::sizeBytes() const {
    struct stat info {};
    return ::fstat(file_.get(), &info) == 0 ? int64_t(info.st_size) : 0;
}

std::optional<std::filesystem::path>
DecodedCopyFile::publish(const std::filesystem::path& cacheFile) {
    const std::filesystem::path folder = cacheFile.parent_path();
    std::filesystem::path named = temporaryPath_;
    if (named.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(file_.get());
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, cacheFile.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            published_ = true;
            return cacheFile;
        }
        // An earlier copy of that name is replaced in one step, through a hidden name.
        for (int attempt = 0; attempt < 100 && named.empty(); ++attempt) {
            const std::filesystem::path candidate = hiddenName(folder, cacheFile.stem().string());
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) ==
                0)
                named = candidate;
            else if (errno != EEXIST)
                return std::nullopt;
        }
        if (named.empty())
            return std::nullopt;
    }
    published_ = true;
    // rename() never replaces a folder: one planted at the cache name stays put and the copy
    // is played from its hidden name, held until then and removed by a later trim.
    return ::rename(named.c_str(), cacheFile.c_str()) == 0 ? cacheFile : named;
}

platform::FileDescriptor DecodedCopyFile::release() {
    return std::move(file_);
}

} // namespace tindrel
