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

// A program folder "<name>.app" whose bin/tindrel is a shell script that, started normally,
// runs the shell text `startAnswer`, reports to a waiting relaunch that it is up, and appends
// `label`, its arguments and the update variables it was started with, one per line, to the
// file named by $VELMO_TEST_RECORD. Asked for "--version" it runs `versionAnswer` instead.
std::vector<ZipEntry> fakeBundle(const std::string& name, const std::string& label,
                                 const std::string& versionAnswer = "echo 2.0",
                                 const std::string& startAnswer = "true");

// Writes the entries as real files below `folder` (folders, links and modes included).
void writeEntries(const std::filesystem::path& folder, const std::vector<ZipEntry>& entries);

} // namespace velmo::test
