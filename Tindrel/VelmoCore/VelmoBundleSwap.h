#pragma once

// Putting a new program folder in place of the running one and starting it. The new folder is
// first staged beside the old one (same folder, so the later renames stay on one file system).
// A detached shell, in its own session, then stops the running process and waits (up to about
// ten seconds) until it has gone, renames old -> backup and staged -> old, and asks the new
// program for "--version": it must print the expected version and exit 0 within ten seconds.
// Only then is the backup removed. When the second rename or that answer fails, the backup is
// put back and started with VELMO_UPDATE_FAILED naming what went wrong. Either way it starts
// <bundle>/bin/<program> --background, without the caller's simulate switch. Paths, the
// process id and the version reach the shell as positional parameters; its script text never
// changes. Any thread; staging is blocking file-system work.

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
    // An empty `expectedVersion` accepts any version the new program prints.
    bool startRelaunch(qint64 runningProcessId, const std::string& program,
                       const std::string& expectedVersion,
                       const std::map<QString, QString>& extraEnvironment);

    const std::filesystem::path& stagedBundle() const { return staged_; }

    // The constant relaunch script: $1 process id, $2 bundle, $3 staged, $4 backup, $5 program,
    // $6 expected version.
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
