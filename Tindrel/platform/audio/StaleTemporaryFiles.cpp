#include "Tindrel/platform/audio/StaleTemporaryFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <memory>

namespace tindrel::platform {

namespace {

constexpr time_t staleAfterSeconds = 24 * 60 * 60;

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

} // namespace

void removeStaleTemporaryFiles(const std::filesystem::path& folder,
                               const std::function<bool(std::string_view name)>& isOurs) {
    std::unique_ptr<DIR, DirectoryCloser> directory(::opendir(folder.c_str()));
    if (!directory)
        return;
    const int folderFd = ::dirfd(directory.get());
    const time_t staleBefore = ::time(nullptr) - staleAfterSeconds;
    while (const dirent* entry = ::readdir(directory.get())) {
        if (!isOurs(entry->d_name))
            continue;
        struct stat info {};
        if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && info.st_mtime < staleBefore)
            ::unlinkat(folderFd, entry->d_name, 0);
    }
}

} // namespace tindrel::platform
