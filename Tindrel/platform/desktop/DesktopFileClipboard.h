#pragma once

// The desktop clipboard of the running QGuiApplication, holding files the way file managers
// paste them: the file URLs (text/uri-list), GNOME's x-special/gnome-copied-files ("copy"
// and one URL a line) and the plain paths as text, one a line. Main thread.

#include "Tindrel/platform/desktop/FileClipboard.h"

class QMimeData;

namespace tindrel::platform {

class DesktopFileClipboard : public FileClipboard {
public:
    // False without a QGuiApplication (no clipboard).
    bool copyFiles(const std::vector<std::filesystem::path>& files) override;

    // The clipboard content for these files; the caller owns it.
    static QMimeData* mimeDataForFiles(const std::vector<std::filesystem::path>& files);
};

} // namespace tindrel::platform
