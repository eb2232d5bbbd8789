#include "Tindrel/VelmoCore/VelmoBundleArchive.h"

#include "Tindrel/VelmoCore/VelmoArchivePaths.h"
#include "Tindrel/VelmoCore/VelmoWorkFolderMark.h"
#include "Tindrel/VelmoCore/VelmoZipDirectory.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <system_error>
#include <unistd.h>

namespace velmo {

namespace {

namespace fs = std::filesystem;

constexpr mode_t folderOrExecutableMode = 0755;
constexpr mode_t plainFileMode = 0644;
// The characters mkdtemp puts at the end of a work folder's name.
constexpr std::size_t randomPartLength = 6;

struct ArchiveReadCloser {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
struct ArchiveWriteCloser {
    void operator()(archive* writer) const { archive_write_free(writer); }
};

// The entry's path as parts, without "." parts; nothing when it is empty, absolute, has "..",
// or is deeper or longer than the bounds. The parts point into `name`.
std::optional<VelmoArchivePaths::Path> insidePath(std::string_view name,
                                                  const VelmoUpdateLimits& limits) {
    if (name.empty() || name.front() == '/' ||
        name.size() > static_cast<std::size_t>(limits.pathBytes))
        return std::nullopt;
    VelmoArchivePaths::Path parts;
    while (!name.empty()) {
        const std::size_t slash = std::min(name.find('/'), name.size());
        const std::string_view part = name.substr(0, slash);
        name.remove_prefix(std::min(slash + 1, name.size()));
        if (part == "..")
            return std::nullopt;
        if (part.empty() || part == ".")
            continue;
        if (parts.size() == static_cast<std::size_t>(limits.pathDepth))
            return std::nullopt;
        parts.push_back(part);
    }
    if (parts.empty())
        return std::nullopt;
    return parts;
}

// Checks the entry, points it into the work folder and gives it the installer's mode.
bool acceptEntry(archive_entry* entry, std::string_view listedName, const fs::path& workFolder,
                 const VelmoUpdateLimits& limits, VelmoArchivePaths& paths) {
    const char* name = archive_entry_pathname(entry);
    if (archive_entry_hardlink(entry) || !name || name != listedName)
        return false;
    const std::optional<VelmoArchivePaths::Path> parts = insidePath(name, limits);
    if (!parts)
        return false;
    fs::path relative;
    for (const std::string_view part : *parts)
        relative /= part;
    switch (archive_entry_filetype(entry)) {
    case AE_IFDIR:
        archive_entry_set_perm(entry, folderOrExecutableMode);
        break;
    case AE_IFREG:
        archive_entry_set_perm(entry, (archive_entry_perm(entry) & S_IXUSR) != 0
                                          ? folderOrExecutableMode
                                          : plainFileMode);
        break;
    case AE_IFLNK:
        break;
    default:
        return false;
    }
    const char* linkTarget = nullptr;
    if (archive_entry_filetype(entry) == AE_IFLNK) {
        linkTarget = archive_entry_symlink(entry);
        if (!linkTarget)
            return false;
    }
    if (!paths.add(*parts, linkTarget, archive_entry_filetype(entry) == AE_IFDIR))
        return false;
    archive_entry_set_pathname(entry, (workFolder / relative).c_str());
    return true;
}

// Copies one entry's data, counting the bytes it puts on disk (where each block ends, not what
// the header claims) into `written`; false past `bound` or when asked to stop.
bool copyData(archive* reader, archive* writer, std::int64_t& written, std::int64_t bound,
              const std::atomic<bool>& stop) {
    const std::int64_t before = written;
    std::int64_t entryEnd = 0;
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF)
            return true;
        if (status != ARCHIVE_OK || offset < 0 || stop)
            return false;
        entryEnd = std::max(entryEnd, static_cast<std::int64_t>(offset + size));
        written = before + entryEnd;
        if (written > bound)
            return false;
        if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK)
            return false;
    }
}

// The disk one folder takes at least, however empty.
std::int64_t folderBytes(const fs::path& workFolder) {
    struct statvfs status {};
    constexpr std::int64_t usualBlock = 4096;
    return statvfs(workFolder.c_str(), &status) == 0 && status.f_bsize > 0
               ? static_cast<std::int64_t>(status.f_bsize)
               : usualBlock;
}

// True when the folders the listed names make stay within the bounds. Counted from the central
// directory, so that an archive of countless folders is refused before any is made.
bool listedFoldersFit(const VelmoZipDirectory& listed, const VelmoUpdateLimits& limits,
                      std::int64_t folderBytes, std::int64_t byteBound,
                      const std::atomic<bool>& stop) {
    VelmoArchivePaths paths;
    for (std::size_t index = 0; index < listed.size() && !stop; ++index) {
        const std::string_view name = listed.name(index);
        const std::optional<VelmoArchivePaths::Path> parts = insidePath(name, limits);
        if (!parts || !paths.add(*parts, nullptr, name.ends_with('/')) ||
            static_cast<std::int64_t>(paths.folders()) > limits.archiveFolders ||
            static_cast<std::int64_t>(paths.folders()) * folderBytes > byteBound)
            return false;
    }
    return !stop;
}

// Folders the unpack made on its own for entries listed before their folder take the umask's
// mode; they get the installer's mode like the listed ones.
bool giveFoldersTheirMode(const fs::path& workFolder) {
    std::error_code error;
    for (fs::recursive_directory_iterator walk(workFolder, error), end; !error && walk != end;
         walk.increment(error)) {
        if (walk->is_directory(error) && !walk->is_symlink(error) &&
            chmod(walk->path().c_str(), folderOrExecutableMode) != 0)
            return false;
    }
    return !error;
}

} // namespace

std::optional<VelmoBundleArchive::LockedFolder>
VelmoBundleArchive::makeWorkFolder(const fs::path& temporaryDirectory, const std::string& prefix,
                                   const std::string& product) {
    std::string pattern = (temporaryDirectory / (prefix + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        return std::nullopt;
    std::optional<VelmoFolderLock> lock = VelmoFolderLock::tryLock(pattern);
    if (!lock || !VelmoWorkFolderMark::write(lock->descriptor(), product,
                                             pattern.substr(pattern.size() - randomPartLength))) {
        lock.reset();
        std::error_code error;
        fs::remove_all(pattern, error);
        return std::nullopt;
    }
    return LockedFolder{fs::path(pattern), std::move(*lock)};
}

void VelmoBundleArchive::removeWorkFolders(const fs::path& temporaryDirectory,
                                           const std::string& product,
                                           const std::function<bool(const std::string&)>& isOurs) {
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(temporaryDirectory, error)) {
        const std::string name = entry.path().filename().string();
        struct stat status {};
        if (name.size() <= randomPartLength || !isOurs(name) ||
            lstat(entry.path().c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
            status.st_uid != geteuid())
            continue;
        // Held while removed, so that no install can take it up meanwhile.
        const std::optional<VelmoFolderLock> lock = VelmoFolderLock::tryLock(entry.path());
        if (lock && VelmoWorkFolderMark::isMarked(lock->descriptor(), product,
                                                  name.substr(name.size() - randomPartLength)))
            VelmoWorkFolderMark::removeFolder(entry.path());
    }
}

bool VelmoBundleArchive::unpack(const fs::path& archivePath, const fs::path& workFolder,
                                const VelmoUpdateLimits& limits, const std::atomic<bool>& stop) {
    std::error_code error;
    const auto archiveBytes = static_cast<std::int64_t>(fs::file_size(archivePath, error));
    if (error)
        return false;
    const std::int64_t byteBound =
        std::min(limits.unpackedBytes, archiveBytes * limits.unpackedPerArchiveByte);

    // What the central directory lists is what may be installed: each entry read must be the
    // one listed at its place. It is read first, so that the bounds hold before libarchive
    // takes in the directory itself.
    const std::optional<VelmoZipDirectory> listed = VelmoZipDirectory::read(archivePath, limits);
    const std::int64_t blockBytes = folderBytes(workFolder);
    if (!listed || !listedFoldersFit(*listed, limits, blockBytes, byteBound, stop))
        return false;
    std::unique_ptr<archive, ArchiveReadCloser> reader(archive_read_new());
    std::unique_ptr<archive, ArchiveWriteCloser> writer(archive_write_disk_new());
    archive_read_support_format_zip_seekable(reader.get());
    // Links are never followed while writing, so an earlier link cannot redirect a later file.
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME |
                                                     ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                     ARCHIVE_EXTRACT_SECURE_NODOTDOT);
    if (archive_read_open_filename(reader.get(), archivePath.c_str(), 64 * 1024) != ARCHIVE_OK)
        return false;

    VelmoArchivePaths paths;
    std::size_t entries = 0;
    // File data; the folders made so far take their share of the bound beside it.
    std::int64_t written = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status != ARCHIVE_OK || stop || entries == listed->size() ||
            !acceptEntry(entry, listed->name(entries++), workFolder, limits, paths))
            return false;
        const auto folders = static_cast<std::int64_t>(paths.folders());
        const std::int64_t fileBound = byteBound - folders * blockBytes;
        if (folders > limits.archiveFolders || written > fileBound ||
            archive_write_header(writer.get(), entry) != ARCHIVE_OK ||
            !copyData(reader.get(), writer.get(), written, fileBound, stop) ||
            archive_write_finish_entry(writer.get()) != ARCHIVE_OK)
            return false;
    }
    return entries > 0 && entries == listed->size() &&
           archive_write_close(writer.get()) == ARCHIVE_OK && paths.linksStayInTheirTopFolders() &&
           giveFoldersTheirMode(workFolder);
}

std::optional<fs::path> VelmoBundleArchive::findBundle(const fs::path& workFolder,
                                                       const std::string& executableName) {
    std::error_code error;
    std::optional<fs::path> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(workFolder, error)) {
        if (entry.path().extension() != ".app")
            continue;
        if (found || !entry.is_directory(error) || entry.is_symlink(error))
            return std::nullopt;
        found = entry.path();
    }
    if (!found)
        return std::nullopt;
    const fs::path program = *found / "bin" / executableName;
    const fs::file_status status = fs::symlink_status(program, error);
    if (error || !fs::is_regular_file(status) ||
        (status.permissions() & fs::perms::owner_exec) == fs::perms::none)
        return std::nullopt;
    return found;
}

} // namespace velmo
