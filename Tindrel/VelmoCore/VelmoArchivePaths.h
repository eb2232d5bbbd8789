#pragma once

// The paths of one archive's entries, collected while it is unpacked, to refuse what the file
// system alone would let through: the same path twice (a later entry replacing an earlier one),
// a link where earlier entries put a folder, an entry below a link, a link at the top level, and
// links that lead out of the top folder they lie in. Links are followed the way the system would
// follow them, through the archive's other links whichever comes first, so the check is made once
// all are known. One archive per object; any thread.

#include <map>
#include <set>
#include <string>
#include <vector>

namespace velmo {

class VelmoArchivePaths {
public:
    using Path = std::vector<std::string>;

    // `path`: the entry's relative path, no "." or ".." parts. `linkTarget`: the target of a
    // symbolic link, null for any other entry. False when the entry is refused.
    bool add(const Path& path, const char* linkTarget);

    // True when every link, followed through the others, stays inside its own top folder.
    bool linksStayInTheirTopFolders() const;

private:
    bool walk(Path& at, const std::string& target, int& stepsLeft) const;

    std::set<Path> entries_;
    std::set<Path> folders_;
    std::map<Path, std::string> links_;
};

} // namespace velmo
