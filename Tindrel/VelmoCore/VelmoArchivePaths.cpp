#include "Tindrel/VelmoCore/VelmoArchivePaths.h"

#include <filesystem>

namespace velmo {

namespace {

// Steps one link may take, through all the links it passes; real program folders need a few,
// and the bound ends loops and deliberately long chains alike.
constexpr int stepsPerLink = 4096;

} // namespace

bool VelmoArchivePaths::add(const Path& path, const char* linkTarget) {
    if (path.empty() || !entries_.insert(path).second)
        return false;
    if (linkTarget && (path.size() < 2 || folders_.contains(path)))
        return false;
    for (Path folder = path; folder.pop_back(), !folder.empty();) {
        if (links_.contains(folder))
            return false;
        folders_.insert(folder);
    }
    if (linkTarget)
        links_.emplace(path, linkTarget);
    return true;
}

bool VelmoArchivePaths::linksStayInTheirTopFolders() const {
    for (const auto& [path, target] : links_) {
        Path at(path.begin(), path.end() - 1);
        int stepsLeft = stepsPerLink;
        if (!walk(at, target, stepsLeft))
            return false;
    }
    return true;
}

// Moves `at` along `target` as path resolution would, replacing each link met by where it
// leads; false when that climbs above `at`'s top folder, is absolute, or takes too many steps.
bool VelmoArchivePaths::walk(Path& at, const std::string& target, int& stepsLeft) const {
    if (target.empty() || target.front() == '/')
        return false;
    for (const std::filesystem::path& part : std::filesystem::path(target)) {
        if (--stepsLeft < 0)
            return false;
        const std::string name = part.string();
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (at.size() <= 1)
                return false;
            at.pop_back();
            continue;
        }
        at.push_back(name);
        const auto link = links_.find(at);
        if (link == links_.end())
            continue;
        at.pop_back();
        if (!walk(at, link->second, stepsLeft))
            return false;
    }
    return true;
}

} // namespace velmo
