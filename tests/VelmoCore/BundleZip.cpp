#include "tests/VelmoCore/BundleZip.h"

#include <archive.h>
#include <archive_entry.h>

#include <fstream>
#include <stdexcept>

namespace velmo::test {

QByteArray zipArchive(const std::vector<ZipEntry>& entries) {
    archive* writer = archive_write_new();
    archive_write_set_format_zip(writer);
    std::vector<char> buffer(64 * 1024 * 1024);
    size_t used = 0;
    if (archive_write_open_memory(writer, buffer.data(), buffer.size(), &used) != ARCHIVE_OK)
        throw std::runtime_error("cannot start a zip");
    for (const ZipEntry& item : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, item.path.c_str());
        archive_entry_set_perm(entry, item.mode);
        switch (item.kind) {
        case ZipEntry::Kind::file:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry, item.content.size());
            break;
        case ZipEntry::Kind::folder:
            archive_entry_set_filetype(entry, AE_IFDIR);
            break;
        case ZipEntry::Kind::symlink:
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, item.content.constData());
            break;
        }
        archive_write_header(writer, entry);
        if (item.kind == ZipEntry::Kind::file)
            archive_write_data(writer, item.content.constData(), item.content.size());
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    return QByteArray(buffer.data(), static_cast<qsizetype>(used));
}

std::vector<ZipEntry> fakeBundle(const std::string& name, const std::string& label,
                                 const std::string& versionAnswer, const std::string& startAnswer) {
    const std::string script =
        "#!/bin/sh\n"
        "if [ \"$1\" = --version ]; then " +
        versionAnswer + "; exit; fi\n" + startAnswer +
        "\n"
        "[ -z \"$VELMO_UPDATE_REPORT_FD\" ] || echo up >&\"$VELMO_UPDATE_REPORT_FD\"\n"
        "printf '%s\\n' '" +
        label +
        "' \"$@\" ${VELMO_SIMULATE_OUT_OF_DATE:+simulate} "
        "${VELMO_UPDATE_FAILED:+\"failed: $VELMO_UPDATE_FAILED\"} >> \"$VELMO_TEST_RECORD\"\n";
    return {{name + "/", ZipEntry::Kind::folder, {}, 0755},
            {name + "/bin/", ZipEntry::Kind::folder, {}, 0755},
            {name + "/bin/tindrel", ZipEntry::Kind::file, QByteArray::fromStdString(script), 0755},
            {name + "/share/", ZipEntry::Kind::folder, {}, 0755},
            {name + "/share/release.txt", ZipEntry::Kind::file,
             QByteArray::fromStdString(label + " resources\n"), 0644}};
}

void writeEntries(const std::filesystem::path& folder, const std::vector<ZipEntry>& entries) {
    namespace fs = std::filesystem;
    for (const ZipEntry& item : entries) {
        const fs::path target = folder / item.path;
        if (item.kind == ZipEntry::Kind::folder) {
            fs::create_directories(target);
            fs::permissions(target, static_cast<fs::perms>(item.mode));
            continue;
        }
        fs::create_directories(target.parent_path());
        if (item.kind == ZipEntry::Kind::symlink) {
            fs::create_symlink(item.content.toStdString(), target);
            continue;
        }
        std::ofstream(target, std::ios::binary)
            .write(item.content.constData(), item.content.size());
        fs::permissions(target, static_cast<fs::perms>(item.mode));
    }
}

} // namespace velmo::test
