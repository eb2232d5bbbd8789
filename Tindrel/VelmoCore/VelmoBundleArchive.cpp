#include "Tindrel/VelmoCore/VelmoBundleArchive.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <system_error>

namespace velmo {

namespace {

namespace fs = std::filesystem;

struct ArchiveReadCloser {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
struct ArchiveWriteCloser {
    void operator()(archive* writer) const { archive_write_free(writer); }
};

// A relative path that stays below its starting point: no root, no "..", not empty.
bool staysInside(const fs::path& relative) {
    if (relative.empty() || relative.has_root_path())
        return false;
    for (const fs::path& part : relative)
        if (part == "..")
            return false;
    return true;
}

// A symbolic link's target, taken from the folder the link lies in, must stay inside too.
bool linkStaysInside(const fs::path& linkPath, const char* target) {
    if (!target || !*target)
        return false;
    const fs::path resolved = (linkPath.parent_path() / target).lexically_normal();
    return staysInside(resolved) && *resolved.begin() != "..";
}

bool acceptEntry(archive_entry* entry, const fs::path& workFolder) {
    const char* name = archive_entry_pathname(entry);
    if (!name || archive_entry_hardlink(entry))
        return false;
    const fs::path relative = fs::path(name).lexically_normal();
    if (!staysInside(fs::path(name)) || !staysInside(relative))
        return false;
    switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
    case AE_IFDIR:
        break;
    case AE_IFLNK:
        if (!linkStaysInside(relative, archive_entry_symlink(entry)))
            return false;
        break;
    default:
        return false;
    }
    archive_entry_set_pathname(entry, (workFolder / relative).c_str());
    return true;
}

bool copyData(archive* reader, archive* writer) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF)
            return true;
        if (status != ARCHIVE_OK)
            return false;
        if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK)
            return false;
    }
}

} // namespace

std::optional<fs::path> VelmoBundleArchive::makeWorkFolder(const fs::path& temporaryDirectory,
                                                           const std::string& prefix) {
    std::string pattern = (temporaryDirectory / (prefix + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        return std::nullopt;
    return fs::path(pattern);
}

bool VelmoBundleArchive::unpack(const fs::path& archivePath, const fs::path& workFolder) {
    std::unique_ptr<archive, ArchiveReadCloser> reader(archive_read_new());
    std::unique_ptr<archive, ArchiveWriteCloser> writer(archive_write_disk_new());
    archive_read_support_format_zip(reader.get());
    // Links are never followed while writing, so an earlier link cannot redirect a later file.
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME |
                                                     ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                     ARCHIVE_EXTRACT_SECURE_NODOTDOT);
    if (archive_read_open_filename(reader.get(), archivePath.c_str(), 64 * 1024) != ARCHIVE_OK)
        return false;

    bool sawEntry = false;
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status != ARCHIVE_OK || !acceptEntry(entry, workFolder))
            return false;
        // Files are written owner-writable and without set-id bits whatever the archive says.
        archive_entry_set_perm(entry, (archive_entry_perm(entry) | S_IWUSR) & 0777);
        if (archive_write_header(writer.get(), entry) != ARCHIVE_OK)
            return false;
        if (archive_entry_size(entry) > 0 && !copyData(reader.get(), writer.get()))
            return false;
        if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK)
            return false;
        sawEntry = true;
    }
    return sawEntry && archive_write_close(writer.get()) == ARCHIVE_OK;
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
