#pragma once

// The paths of one archive's entries, collected while it is unpacked, to refuse what the file
// system alone would let through: the same path twice (a later entry replacing an earlier one),
// a link where earlier entries put a folder, an entry below a link, a link at the top level, and
// links that lead out of the top folder they lie in. Links are followed the way the system would
// follow them, through the archive's other links whichever comes first, so the check is made once
// all are known. The paths are kept as a tree of names, each name once, so memory grows with the
// bytes of the names and not with their depth. One archive per object; any thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmo {

class VelmoArchivePaths {
public:
    using Path = std::vector<std::string_view>;

    // `path`: the entry's relative path as parts, none empty, "." or "..". `linkTarget`: the
    // target of a symbolic link, null for any other entry. `folder`: the entry is a folder.
    // False when the entry is refused.
    bool add(const Path& path, const char* linkTarget, bool folder = false);

    // The folders the paths added so far make: those listed and those their names imply.
    std::size_t folders() const { return folders_; }

    // True when every link, followed through the others, stays inside its own top folder.
    bool linksStayInTheirTopFolders() const;

private:
    using NodeId = std::uint32_t;
    static constexpr NodeId noNode = 0xffffffff;
    static constexpr NodeId rootNode = 0;

    // 12 bytes a name: the name's bytes lie in `names_`.
    struct Node {
        NodeId parent;
        std::uint32_t nameStart;
        std::uint16_t nameLength;
        std::uint8_t kind;
    };
    enum Kind : std::uint8_t { listed = 1, holdsEntries = 2, link = 4, listedFolder = 8 };

    std::string_view nameOf(const Node& node) const;
    NodeId child(NodeId parent, std::string_view name) const;
    NodeId addChild(NodeId parent, std::string_view name);
    void growTable();
    // Gives the node `kind` (holdsEntries or listedFolder), counting it once as a folder.
    void markFolder(NodeId id, Kind kind);
    // Where resolution stands: the nodes from the top down, noNode below a name never listed.
    bool walk(std::vector<NodeId>& at, std::string_view target, int& stepsLeft) const;

    std::vector<Node> nodes_{Node{noNode, 0, 0, 0}};
    std::string names_;
    // Open addressing over (parent, name): node ids, noNode where free.
    std::vector<NodeId> table_;
    std::unordered_map<NodeId, std::string> linkTargets_;
    std::size_t folders_ = 0;
};

} // namespace velmo
