#pragma once

// Putting a new program folder in place of the running one and starting it. The new folder is
// first staged in a private folder beside the old one ("<name>.staged-XXXXXX", same file
// system), locked from its making until the relaunch has ended, together with a copy of the
// relaunch tool. A detached shell, in its own session, then stops the running process and waits
// (up to about ten seconds) until it has gone, and exchanges the two folders in one step, so
// that a program folder stands under the old name whenever the shell is stopped. The new
// program must answer "--version" with the expected version within ten seconds, and then, once
// started with "--background", report that it is up within the given time. Only then is the old
// folder removed with the staging folder; otherwise the new program is stopped, the folders are
// exchanged back and the old program starts with VELMO_UPDATE_FAILED naming what went wrong,
// without the caller's simulate switch. Paths, the process id and the version reach the shell as
// positional parameters; its script text never changes. Any thread; staging is blocking
// file-system work.

#include "Tindrel/VelmoCore/VelmoFolderLock.h"

#include <QString>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace velmo {

class VelmoBundleSwap {
public:
    // Moves (or, across file systems, copies) `newBundle` into a new staging folder beside
    // `bundle`, with `relaunchTool` beside it. Nothing when that cannot be done; then nothing
    // is left behind.
    // The staging folder is marked as `product`'s.
    static std::optional<VelmoBundleSwap> stage(const std::filesystem::path& newBundle,
                                                const std::filesystem::path& bundle,
                                                const std::filesystem::path& relaunchTool,
                                                const std::string& product);

    // Removes the staging folders of `product` beside `bundle` that no relaunch holds: what a
    // stopped install left. A folder without the mark stays, whatever its name.
    static void removeLeftovers(const std::filesystem::path& bundle, const std::string& product);

    // Starts the detached shell, which takes over the lock; false (and the staging folder
    // removed) when it cannot start. An empty `expectedVersion` accepts any version the new
    // program prints.
    bool startRelaunch(qint64 runningProcessId, const std::string& program,
                       const std::string& expectedVersion, std::chrono::seconds reportTime,
                       const std::map<QString, QString>& extraEnvironment);

    const std::filesystem::path& stagingFolder() const { return folder_; }
    const std::filesystem::path& stagedBundle() const { return staged_; }

    // The constant relaunch script: $1 process id, $2 bundle, $3 staging folder, $4 staged
    // bundle, $5 program, $6 expected version, $7 seconds to wait for the report; the lock on
    // fd 9.
    static const char* const relaunchScript;
    static constexpr int lockDescriptor = 9;

private:
    VelmoBundleSwap(std::filesystem::path bundle, std::filesystem::path folder,
                    VelmoFolderLock lock);
    void discard();

    std::filesystem::path bundle_;
    std::filesystem::path folder_;
    std::filesystem::path staged_;
    std::optional<VelmoFolderLock> lock_;
};

} // namespace velmo
