#include "Tindrel/VelmoCore/VelmoArchivePaths.h"

#include <functional>
#include <limits>

namespace velmo {

namespace {

// Steps one link may take, through all the links it passes; real program folders need a few,
// and the bound ends loops and deliberately long chains alike.
constexpr int stepsPerLink = 4096;

std::size_t slotFor(std::uint32_t parent, std::string_view name, std::size_t mask) {
    const std::size_t hash = std::hash<std::string_view>{}(name) ^ (parent * 0x9E3779B97F4A7C15u);
    return hash & mask;
}

} // namespace

std::string_view VelmoArchivePaths::nameOf(const Node& node) const {
    return std::string_view(names_).substr(node.nameStart, node.nameLength);
}

VelmoArchivePaths::NodeId VelmoArchivePaths::child(NodeId parent, std::string_view name) const {
    if (table_.empty() || parent == noNode)
        return noNode;
    const std::size_t mask = table_.size() - 1;
    for (std::size_t slot = slotFor(parent, name, mask);; slot = (slot + 1) & mask) {
        const NodeId id = table_[slot];
        if (id == noNode)
            return noNode;
        if (nodes_[id].parent == parent && nameOf(nodes_[id]) == name)
            return id;
    }
}

VelmoArchivePaths::NodeId VelmoArchivePaths::addChild(NodeId parent, std::string_view name) {
    // Kept below three quarters full, so that lookups stay short.
    if ((nodes_.size() + 1) * 4 > table_.size() * 3)
        growTable();
    const auto id = static_cast<NodeId>(nodes_.size());
    nodes_.push_back(Node{parent, static_cast<std::uint32_t>(names_.size()),
                          static_cast<std::uint16_t>(name.size()), 0});
    names_.append(name);
    const std::size_t mask = table_.size() - 1;
    std::size_t slot = slotFor(parent, name, mask);
    while (table_[slot] != noNode)
        slot = (slot + 1) & mask;
    table_[slot] = id;
    return id;
}

void VelmoArchivePaths::growTable() {
    std::vector<NodeId> grown(std::max<std::size_t>(64, table_.size() * 2), noNode);
    const std::size_t mask = grown.size() - 1;
    for (NodeId id = 1; id < nodes_.size(); ++id) {
        std::size_t slot = slotFor(nodes_[id].parent, nameOf(nodes_[id]), mask);
        while (grown[slot] != noNode)
            slot = (slot + 1) & mask;
        grown[slot] = id;
    }
    table_.swap(grown);
}

bool VelmoArchivePaths::add(const Path& path, const char* linkTarget, bool folder) {
    std::size_t bytes = 0;
    for (const std::string_view name : path)
        bytes += name.size();
    if (path.empty() || (linkTarget && path.size() < 2) || nodes_.size() + path.size() >= noNode ||
        names_.size() + bytes >= std::numeric_limits<std::uint32_t>::max())
        return false;
    NodeId at = rootNode;
    for (size_t index = 0; index < path.size(); ++index) {
        const std::string_view name = path[index];
        if (name.size() > std::numeric_limits<std::uint16_t>::max())
            return false;
        NodeId next = child(at, name);
        if (next == noNode)
            next = addChild(at, name);
        const bool last = index + 1 == path.size();
        if (!last && (nodes_[next].kind & link))
            return false;
        if (!last)
            markFolder(next, holdsEntries);
        at = next;
    }
    Node& entry = nodes_[at];
    if ((entry.kind & listed) || (linkTarget && (entry.kind & holdsEntries)))
        return false;
    if (folder && !linkTarget)
        markFolder(at, listedFolder);
    entry.kind |= listed;
    if (linkTarget) {
        entry.kind |= link;
        linkTargets_.emplace(at, linkTarget);
    }
    return true;
}

void VelmoArchivePaths::markFolder(NodeId id, Kind kind) {
    if (!(nodes_[id].kind & (holdsEntries | listedFolder)))
        ++folders_;
    nodes_[id].kind |= kind;
}

bool VelmoArchivePaths::linksStayInTheirTopFolders() const {
    for (const auto& [id, target] : linkTargets_) {
        std::vector<NodeId> at;
        for (NodeId folder = nodes_[id].parent; folder != rootNode; folder = nodes_[folder].parent)
            at.insert(at.begin(), folder);
        int stepsLeft = stepsPerLink;
        if (!walk(at, target, stepsLeft))
            return false;
    }
    return true;
}

// Moves `at` along `target` as path resolution would, replacing each link met by where it
// leads; false when that climbs above `at`'s top folder, is absolute, or takes too many steps.
bool VelmoArchivePaths::walk(std::vector<NodeId>& at, std::string_view target,
                             int& stepsLeft) const {
    if (target.empty() || target.front() == '/')
        return false;
    while (!target.empty()) {
        const size_t slash = std::min(target.find('/'), target.size());
        const std::string_view name = target.substr(0, slash);
        target.remove_prefix(std::min(slash + 1, target.size()));
        if (--stepsLeft < 0)
            return false;
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (at.size() <= 1)
                return false;
            at.pop_back();
            continue;
        }
        const NodeId next = child(at.back(), name);
        if (next == noNode || !(nodes_[next].kind & link)) {
            at.push_back(next);
            continue;
        }
        if (!walk(at, linkTargets_.at(next), stepsLeft))
            return false;
    }
    return true;
}

} // namespace velmo
