#pragma once

// One entry of the chain from the browsed folder up to the root. Plain value.

#include <QString>

#include <filesystem>

namespace tindrel {

struct FolderAncestorItem {
    std::filesystem::path url;
    QString name; // the folder's name; the root's label for "/"
    QString icon; // symbol image name: "internaldrive.fill", "house.fill" or "folder.fill"

    QString id() const { return QString::fromStdString(url.string()); }
};

} // namespace tindrel
