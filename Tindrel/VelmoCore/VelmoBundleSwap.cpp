#include "Tindrel/VelmoCore/VelmoBundleSwap.h"

#include "Tindrel/VelmoCore/VelmoBundleArchive.h"
#include "Tindrel/VelmoCore/VelmoDetachedProcess.h"

#include <system_error>

namespace velmo {

namespace fs = std::filesystem;

const char* const VelmoBundleSwap::relaunchScript =
    "pid=$1 bundle=$2 staged=$3 backup=$4 program=$5 version=$6\n"
    "unset VELMO_SIMULATE_OUT_OF_DATE VELMO_UPDATE_FAILED\n"
    "case $pid in '' | 0* | *[!0-9]*) pid=none ;; esac\n"
    "[ \"$pid\" = none ] || kill \"$pid\" >/dev/null 2>&1 || true\n"
    "tries=0\n"
    "while [ \"$pid\" != none ] && kill -0 \"$pid\" 2>/dev/null && [ \"$tries\" -lt 100 ]; do\n"
    "    sleep 0.1\n"
    "    tries=$((tries + 1))\n"
    "done\n"
    "failure=\n"
    "if mv -T -- \"$bundle\" \"$backup\"; then\n"
    "    if ! mv -T -- \"$staged\" \"$bundle\"; then\n"
    "        failure='the new version could not be put in place'\n"
    "        mv -T -- \"$backup\" \"$bundle\"\n"
    "    elif ! answer=$(timeout -k 1 10 \"$bundle/bin/$program\" --version </dev/null "
    "2>/dev/null) ||\n"
    "        [ -z \"$answer\" ] || { [ -n \"$version\" ] && [ \"$answer\" != \"$version\" ]; }; "
    "then\n"
    "        failure='the new version did not start'\n"
    "        if mv -T -- \"$bundle\" \"$staged\"; then\n"
    "            mv -T -- \"$backup\" \"$bundle\" || mv -T -- \"$staged\" \"$bundle\"\n"
    "        fi\n"
    "    fi\n"
    "    rm -rf -- \"$staged\"\n"
    "    [ -n \"$failure\" ] || rm -rf -- \"$backup\"\n"
    "else\n"
    "    failure='the installed version could not be moved aside'\n"
    "    rm -rf -- \"$staged\" \"$backup\"\n"
    "fi\n"
    "[ -z \"$failure\" ] || export VELMO_UPDATE_FAILED=\"$failure\"\n"
    "exec \"$bundle/bin/$program\" --background\n";

VelmoBundleSwap::VelmoBundleSwap(fs::path bundle, fs::path staged, fs::path backup)
    : bundle_(std::move(bundle)), staged_(std::move(staged)), backup_(std::move(backup)) {}

std::optional<VelmoBundleSwap> VelmoBundleSwap::stage(const fs::path& newBundle,
                                                      const fs::path& bundle) {
    const fs::path beside = bundle.parent_path();
    const std::string name = bundle.filename().string();
    // Both names are reserved as empty folders: a rename onto an empty folder replaces it.
    const std::optional<fs::path> staged =
        VelmoBundleArchive::makeWorkFolder(beside, name + ".staged");
    if (!staged)
        return std::nullopt;
    const std::optional<fs::path> backup =
        VelmoBundleArchive::makeWorkFolder(beside, name + ".backup");
    std::error_code error;
    if (!backup) {
        fs::remove(*staged, error);
        return std::nullopt;
    }
    VelmoBundleSwap swap(bundle, *staged, *backup);
    fs::rename(newBundle, *staged, error);
    if (error) {
        error.clear();
        fs::copy(newBundle, *staged, fs::copy_options::recursive | fs::copy_options::copy_symlinks,
                 error);
    }
    if (error) {
        swap.discard();
        return std::nullopt;
    }
    fs::permissions(*staged,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    error);
    return swap;
}

bool VelmoBundleSwap::startRelaunch(qint64 runningProcessId, const std::string& program,
                                    const std::string& expectedVersion,
                                    const std::map<QString, QString>& extraEnvironment) {
    // A process id of 0 or less would make kill reach a whole process group.
    const bool started =
        runningProcessId > 0 &&
        VelmoDetachedProcess::start("/bin/sh",
                                    {"-c", relaunchScript, "velmo-relaunch",
                                     std::to_string(runningProcessId), bundle_.string(),
                                     staged_.string(), backup_.string(), program, expectedVersion},
                                    extraEnvironment);
    if (!started)
        discard();
    return started;
}

void VelmoBundleSwap::discard() const {
    std::error_code error;
    fs::remove_all(staged_, error);
    fs::remove_all(backup_, error);
}

} // namespace velmo
