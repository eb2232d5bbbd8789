#include "Tindrel/VelmoCore/VelmoWorkFolderMark.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <memory>

namespace velmo {

namespace {

// Hidden, so that it never meets a name the update itself puts into the folder.
const char* const markName = ".velmo-work-folder";

std::string markText(const std::string& product, const std::string& id) {
    return "velmo work folder\nproduct " + product + "\nid " + id + "\n";
}

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};

bool stopped(const std::atomic<bool>* stop) {
    return stop && stop->load();
}

// Removes the entries of the folder open at `folder` (links are removed, never followed), all
// but the one named `keep`. The number of entries it met besides `keep`, or -1 when stopped or
// when one of them stays.
int removeEntries(int folder, const char* keep, const std::atomic<bool>* stop) {
    const int listed = fcntl(folder, F_DUPFD_CLOEXEC, 0);
    std::unique_ptr<DIR, DirectoryCloser> directory(listed >= 0 ? fdopendir(listed) : nullptr);
    if (!directory) {
        if (listed >= 0)
            close(listed);
        return -1;
    }
    // The copy shares its place in the listing with `folder`: each pass starts at the top.
    rewinddir(directory.get());
    int met = 0;
    bool removedAll = true;
    while (const dirent* entry = readdir(directory.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || (keep && name == keep))
            continue;
        if (stopped(stop))
            return -1;
        ++met;
        struct stat status {};
        if (fstatat(folder, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
            removedAll = false;
            continue;
        }
        if (S_ISDIR(status.st_mode)) {
            const int inner =
                openat(folder, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            const bool emptied = inner >= 0 && removeEntries(inner, nullptr, stop) >= 0;
            if (inner >= 0)
                close(inner);
            if (stopped(stop))
                return -1;
            removedAll =
                emptied && unlinkat(folder, entry->d_name, AT_REMOVEDIR) == 0 && removedAll;
            continue;
        }
        removedAll = unlinkat(folder, entry->d_name, 0) == 0 && removedAll;
    }
    return removedAll ? met : -1;
}

} // namespace

bool VelmoWorkFolderMark::write(int folder, const std::string& product, const std::string& id) {
    const int file =
        openat(folder, markName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (file < 0)
        return false;
    const std::string text = markText(product, id);
    const bool written = ::write(file, text.data(), text.size()) == ssize_t(text.size());
    return close(file) == 0 && written;
}

bool VelmoWorkFolderMark::isMarked(int folder, const std::string& product, const std::string& id) {
    const int file = openat(folder, markName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        return false;
    const std::string expected = markText(product, id);
    struct stat status {};
    std::array<char, 512> text{};
    ssize_t got = -1;
    if (fstat(file, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == geteuid() &&
        status.st_size == off_t(expected.size()) && expected.size() <= text.size())
        got = pread(file, text.data(), expected.size(), 0);
    close(file);
    return got == ssize_t(expected.size()) && std::string_view(text.data(), got) == expected;
}

bool VelmoWorkFolderMark::removeFolder(const std::filesystem::path& path,
                                       const std::atomic<bool>* stop) {
    const int folder = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return errno == ENOENT;
    // Listing a folder while removing from it may pass over entries: the mark goes only once
    // a whole pass has met nothing else.
    int met = 0;
    do
        met = removeEntries(folder, markName, stop);
    while (met > 0);
    const bool emptied = met == 0 && (unlinkat(folder, markName, 0) == 0 || errno == ENOENT);
    close(folder);
    return emptied && rmdir(path.c_str()) == 0;
}

} // namespace velmo
