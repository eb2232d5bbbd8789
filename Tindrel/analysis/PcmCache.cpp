#include "Tindrel/analysis/PcmCache.h"

#include "Tindrel/platform/audio/StaleTemporaryFiles.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

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

// ".<stem>-XXXXXX.wav" as mkstemps makes it.
bool isTemporaryName(std::string_view name) {
    constexpr std::string_view suffix = ".wav";
    constexpr size_t randomLength = 6;
    if (name.size() < 1 + 1 + randomLength + suffix.size() || name.front() != '.' ||
        name.substr(name.size() - suffix.size()) != suffix)
        return false;
    const size_t random = name.size() - suffix.size() - randomLength;
    return name[random - 1] == '-' &&
           std::all_of(name.begin() + long(random), name.begin() + long(random + randomLength),
                       [](char c) {
                           return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                  (c >= '0' && c <= '9');
                       });
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

std::string PcmCache::cacheFileName(const std::filesystem::path& absoluteSource, int64_t sizeBytes,
                                    int64_t modifiedNanoseconds) {
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx",
                  static_cast<unsigned long long>(
                      fnv1a(absoluteSource.string() + '\0' + std::to_string(modifiedNanoseconds))));
    return sanitisedBaseName(absoluteSource) + "_" + std::to_string(sizeBytes) + "_" + hash +
           ".wav";
}

std::optional<std::filesystem::path>
PcmCache::createTemporaryFile(const std::filesystem::path& folder,
                              const std::string& cacheFileName) {
    // Decodes killed before they finished left their temporaries here.
    platform::removeStaleTemporaryFiles(folder, isTemporaryName);
    const std::string stem = std::filesystem::path(cacheFileName).stem().string();
    std::string pattern = (folder / ("." + stem + "-XXXXXX.wav")).string();
    const int fd = ::mkstemps(pattern.data(), 4);
    if (fd < 0)
        return std::nullopt;
    ::close(fd);
    return std::filesystem::path(pattern);
}

} // namespace tindrel
