#pragma once

// A TindrelStore of its own for tests: a ManualOutput, a hand-fired ticker, a held analysis
// executor, INI settings and a home folder in a temporary folder, and recording desktop
// services. HOME and the XDG folders point at the sandbox for the fixture's lifetime.

#include "Tindrel/platform/audio/engine/ManualOutput.h"
#include "Tindrel/platform/desktop/FileClipboard.h"
#include "Tindrel/platform/desktop/FileRevealer.h"
#include "Tindrel/store/TindrelStore.h"
#include "tests/platform/desktop/XdgSandbox.h"

#include <QStringList>

#include <filesystem>
#include <memory>
#include <ostream>
#include <vector>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace tindrel::test {

class RecordingRevealer : public platform::FileRevealer {
public:
    std::vector<std::vector<std::filesystem::path>> revealed;
    std::vector<std::filesystem::path> openedFolders;
    void revealFiles(const std::vector<std::filesystem::path>& files) override {
        revealed.push_back(files);
    }
    void openFolder(const std::filesystem::path& folder) override {
        openedFolders.push_back(folder);
    }
};

class RecordingClipboard : public platform::FileClipboard {
public:
    std::vector<std::vector<std::filesystem::path>> copies;
    bool copyFiles(const std::vector<std::filesystem::path>& files) override {
        copies.push_back(files);
        return true;
    }
};

class TestStore {
public:
    TestStore();
    ~TestStore();

    TindrelStore& operator*() { return *store_; }
    TindrelStore* operator->() { return store_.get(); }

    const XdgSandbox& sandbox() const { return sandbox_; }
    // The recent paths as stored in the settings file.
    QStringList storedRecentPaths() const;

    // The live engine's output, once the engine has started.
    platform::ManualOutput* output = nullptr;
    RecordingRevealer* revealer = nullptr;
    RecordingClipboard* clipboard = nullptr;

private:
    XdgSandbox sandbox_;
    std::unique_ptr<TindrelStore> store_;
};

} // namespace tindrel::test
