#include "Tindrel/platform/desktop/DefaultHandlerService.h"

#include "Tindrel/platform/desktop/MimeAppsList.h"
#include "Tindrel/platform/files/ConfigFileReader.h"
#include "Tindrel/platform/files/FileReplacement.h"

#include <algorithm>
#include <string_view>
#include <system_error>

namespace tindrel::platform {

namespace {

// Our id first, each id once, the others in their order.
std::vector<std::string> withFirst(const std::string& desktopId, std::vector<std::string> ids) {
    ids.erase(std::remove(ids.begin(), ids.end(), desktopId), ids.end());
    ids.insert(ids.begin(), desktopId);
    return ids;
}

bool isTokenCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$&-^_.+").find(c) != std::string_view::npos;
}

} // namespace

DefaultHandlerService::DefaultHandlerService(XdgLocations locations)
    : locations_(std::move(locations)) {}

bool DefaultHandlerService::isWellFormedMimeType(const std::string& mimeType) {
    const size_t slash = mimeType.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == mimeType.size())
        return false;
    for (size_t i = 0; i < mimeType.size(); ++i) {
        if (i != slash && !isTokenCharacter(mimeType[i]))
            return false;
    }
    return true;
}

std::filesystem::path DefaultHandlerService::userListPath() const {
    return locations_.configHome / "mimeapps.list";
}

int DefaultHandlerService::setDefaultApplication(const std::string& desktopId,
                                                 const std::vector<std::string>& mimeTypes,
                                                 std::string* error) {
    const std::filesystem::path path = userListPath();
    std::error_code code;
    std::filesystem::create_directories(path.parent_path(), code);

    const ConfigFileContents existing = readConfigFile(path);
    if (existing.state == ConfigFileContents::State::unusable) {
        if (error)
            *error = path.string() + ": " + existing.problem;
        return 0;
    }
    MimeAppsList list(existing.bytes);
    int count = 0;
    for (const std::string& mimeType : mimeTypes) {
        if (!isWellFormedMimeType(mimeType))
            continue;
        for (const char* group :
             {MimeAppsList::defaultApplicationsGroup, MimeAppsList::addedAssociationsGroup}) {
            list.setApplications(group, mimeType,
                                 withFirst(desktopId, list.applications(group, mimeType)));
        }
        // Listed as both added and removed, the association would be undefined.
        std::vector<std::string> removed =
            list.applications(MimeAppsList::removedAssociationsGroup, mimeType);
        const auto ours = std::remove(removed.begin(), removed.end(), desktopId);
        if (ours != removed.end()) {
            removed.erase(ours, removed.end());
            list.setApplications(MimeAppsList::removedAssociationsGroup, mimeType, removed);
        }
        ++count;
    }
    if (count == 0)
        return 0;
    const std::string text = list.text();
    // Rewriting an unchanged file would still touch it (and wake every watcher of it).
    if (existing.state == ConfigFileContents::State::read && existing.bytes == text)
        return count;
    return replaceFileContents(path, text, error) ? count : 0;
}

std::vector<std::filesystem::path> DefaultHandlerService::listsInPrecedence() const {
    std::vector<std::filesystem::path> folders;
    folders.push_back(locations_.configHome);
    folders.insert(folders.end(), locations_.configDirs.begin(), locations_.configDirs.end());
    folders.push_back(locations_.dataHome / "applications");
    for (const std::filesystem::path& dataDir : locations_.dataDirs)
        folders.push_back(dataDir / "applications");

    std::vector<std::filesystem::path> lists;
    for (const std::filesystem::path& folder : folders) {
        for (const std::string& desktop : locations_.currentDesktops)
            lists.push_back(folder / (desktop + "-mimeapps.list"));
        lists.push_back(folder / "mimeapps.list");
    }
    return lists;
}

bool DefaultHandlerService::isInstalled(const std::string& desktopId) const {
    std::error_code code;
    if (std::filesystem::is_regular_file(locations_.dataHome / "applications" / desktopId, code))
        return true;
    return std::any_of(locations_.dataDirs.begin(), locations_.dataDirs.end(),
                       [&](const std::filesystem::path& dataDir) {
                           std::error_code ignored;
                           return std::filesystem::is_regular_file(
                               dataDir / "applications" / desktopId, ignored);
                       });
}

std::optional<std::string>
DefaultHandlerService::defaultApplication(const std::vector<std::string>& mimeTypeNames) const {
    for (const std::filesystem::path& path : listsInPrecedence()) {
        const ConfigFileContents contents = readConfigFile(path);
        if (contents.state != ConfigFileContents::State::read)
            continue;
        const MimeAppsList list(contents.bytes);
        for (const std::string& name : mimeTypeNames) {
            for (const std::string& id :
                 list.applications(MimeAppsList::defaultApplicationsGroup, name)) {
                if (isInstalled(id))
                    return id;
            }
        }
    }
    return std::nullopt;
}

} // namespace tindrel::platform
