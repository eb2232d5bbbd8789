#pragma once

#include <QByteArray>

#include <filesystem>
#include <string>
#include <vector>

namespace velmo::test {

// Writes zip archives entry by entry, including the malformed kinds a hostile archive holds
// (absolute paths, "..", links pointing anywhere).
struct ZipEntry {
    enum class Kind { file, folder, symlink };
    std::string path;
    Kind kind = Kind::file;
    QByteArray content; // file bytes, or the link target
    int mode = 0644;
};

QByteArray zipArchive(const std::vector<ZipEntry>& entries);

// A program folder "<name>.app" whose bin/tindrel is a shell script that appends `label` and its
// arguments, one per line, to the file named by $VELMO_TEST_RECORD.
std::vector<ZipEntry> fakeBundle(const std::string& name, const std::string& label);

// Writes the entries as real files below `folder` (folders and executable bits included).
void writeEntries(const std::filesystem::path& folder, const std::vector<ZipEntry>& entries);

} // namespace velmo::test
