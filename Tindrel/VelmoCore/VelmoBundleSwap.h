#pragma once

// Putting a new program folder in place of the running one and starting it. The new folder is
// first staged beside the old one (same folder, so the later renames stay on one file system).
// A detached shell, in its own session, then stops the running process and waits (up to about
// ten seconds) until it has gone, renames old -> backup and staged -> old, puts the backup back
// when the second rename fails, removes the backup only once the new folder is in place, and
// starts <bundle>/bin/<program> --background. Paths and the process id reach the shell as
// positional parameters; its script text never changes. GUI thread only.

#include <QString>

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace velmo {

class VelmoBundleSwap {
public:
    // Moves (or, across file systems, copies) `newBundle` to a fresh name beside `bundle` and
    // reserves the backup name. Nothing when the folder beside `bundle` cannot be written;
    // then nothing is left behind.
    static std::optional<VelmoBundleSwap> stage(const std::filesystem::path& newBundle,
                                                const std::filesystem::path& bundle);

    // Starts the detached shell; false (and the staged copy removed) when it cannot start.
    bool startRelaunch(qint64 runningProcessId, const std::string& program,
                       const std::map<QString, QString>& extraEnvironment);

    const std::filesystem::path& stagedBundle() const { return staged_; }

    // The constant relaunch script: $1 process id, $2 bundle, $3 staged, $4 backup, $5 program.
    static const char* const relaunchScript;

private:
    VelmoBundleSwap(std::filesystem::path bundle, std::filesystem::path staged,
                    std::filesystem::path backup);
    void discard() const;

    std::filesystem::path bundle_;
    std::filesystem::path staged_;
    std::filesystem::path backup_;
};

} // namespace velmo
