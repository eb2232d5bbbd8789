// Rename, copy to the clipboard and reveal in the file manager, for the current file.

#include "Tindrel/store/TindrelStore.h"

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/desktop/FileClipboard.h"
#include "Tindrel/platform/desktop/FileRevealer.h"
#include "Tindrel/store/NonReplacingMove.h"
#include "Tindrel/store/RenameRules.h"

#include <QFile>

#include <algorithm>

namespace tindrel {

namespace {

QString fileNameOf(const std::filesystem::path& path) {
    return QFile::decodeName(path.filename().c_str());
}

} // namespace

void TindrelStore::beginRenameCurrentFile() {
    if (heldAtGate<&TindrelStore::beginRenameCurrentFile>())
        return;
    if (!currentURL.get())
        return;
    renameDraftText = fileNameBase(fileNameOf(*currentURL.get()));
    isRenamingCurrentFile = true;
}

void TindrelStore::commitRenameCurrentFile() {
    if (heldAtGate<&TindrelStore::commitRenameCurrentFile>())
        return;
    if (!currentURL.get()) {
        isRenamingCurrentFile = false;
        return;
    }
    const Path old = *currentURL.get();
    const std::optional<QString> finalName =
        renamedFileName(renameDraftText.get(), fileNameOf(old));
    if (!finalName) {
        isRenamingCurrentFile = false;
        return;
    }
    const Path renamed = old.parent_path() / QFile::encodeName(*finalName).toStdString();
    if (renamed == old) {
        isRenamingCurrentFile = false;
        return;
    }
    std::string error;
    if (!moveWithoutReplacing(old, renamed, &error)) {
        statusBanner = QStringLiteral("Rename failed: ") + QString::fromStdString(error);
        return;
    }

    currentURL = renamed;
    // The open audio moved with the file: later seeks, loops and exports read it there (the
    // segment playing now keeps its open reader).
    if (audioSourceURL_ == old)
        audioSourceURL_ = renamed;
    if (playableURL.get() == std::optional<Path>(old))
        playableURL = renamed;
    if (audioFile_ && audioFile_->path() == old) {
        if (std::unique_ptr<platform::AudioFile> moved =
                platform::AudioFile::openForReading(renamed))
            audioFile_ = std::move(moved);
    }
    if (spec.get()) {
        AudioFileSpec moved = *spec.get();
        moved.url = renamed;
        moved.fileName = renamed.filename().string();
        spec = std::move(moved);
    }
    const std::vector<Path>& recents = recentFiles.get();
    const auto oldEntry = std::find(recents.begin(), recents.end(), old);
    if (oldEntry != recents.end()) {
        const size_t oldIndex = static_cast<size_t>(oldEntry - recents.begin());
        recentFiles.mutate([&](std::vector<Path>& list) {
            // The new path once, in the old entry's place (an entry left by a vanished file of
            // that name would otherwise repeat it).
            std::vector<Path> updated;
            for (size_t i = 0; i < list.size(); ++i) {
                if (i == oldIndex)
                    updated.push_back(renamed);
                else if (list[i] != renamed)
                    updated.push_back(list[i]);
            }
            list = std::move(updated);
        });
        storeRecentPaths();
    }
    scanSiblingAudioFiles(renamed.parent_path());
    isRenamingCurrentFile = false;
    statusBanner = QStringLiteral("Renamed to ") + *finalName;
    if (onStatusChanged)
        onStatusChanged();
}

void TindrelStore::copyFileToPasteboard() {
    if (heldAtGate<&TindrelStore::copyFileToPasteboard>())
        return;
    if (!currentURL.get())
        return;
    if (environment_.clipboard)
        environment_.clipboard->copyFiles({*currentURL.get()});
    statusBanner =
        QStringLiteral("Copied ") + fileNameOf(*currentURL.get()) + QStringLiteral(" to clipboard");
}

void TindrelStore::revealInFinder() {
    if (heldAtGate<&TindrelStore::revealInFinder>())
        return;
    if (!environment_.revealer)
        return;
    if (currentURL.get())
        environment_.revealer->revealFiles({*currentURL.get()});
    else
        environment_.revealer->openFolder(currentFolderURL.get());
}

} // namespace tindrel
