#include "Tindrel/VelmoCore/VelmoBundleSwap.h"

#include "Tindrel/VelmoCore/VelmoBundleArchive.h"
#include "Tindrel/VelmoCore/VelmoDetachedProcess.h"
#include "Tindrel/VelmoCore/VelmoWorkFolderMark.h"

#include <system_error>

namespace velmo {

namespace fs = std::filesystem;

namespace {

const char* const relaunchToolName = "relaunch-tool";

bool isStagingFolderName(const std::string& name, const std::string& bundleName) {
    const std::string prefix = bundleName + ".staged-";
    return name.size() == prefix.size() + 6 && name.starts_with(prefix);
}

} // namespace

const char* const VelmoBundleSwap::relaunchScript =
    "pid=$1 bundle=$2 folder=$3 staged=$4 program=$5 version=$6 seconds=$7\n"
    "tool=$folder/relaunch-tool report=$folder/report\n"
    "unset VELMO_SIMULATE_OUT_OF_DATE VELMO_UPDATE_FAILED VELMO_UPDATE_REPORT_FD\n"
    "case $pid in '' | 0* | *[!0-9]*) pid=none ;; esac\n"
    "[ \"$pid\" = none ] || kill \"$pid\" >/dev/null 2>&1 || true\n"
    "tries=0\n"
    "while [ \"$pid\" != none ] && kill -0 \"$pid\" 2>/dev/null && [ \"$tries\" -lt 100 ]; do\n"
    "    sleep 0.1\n"
    "    tries=$((tries + 1))\n"
    "done\n"
    "failure= keep= started= up=\n"
    "if \"$tool\" exchange \"$staged\" \"$bundle\"; then\n"
    "    if answer=$(timeout -k 1 10 \"$bundle/bin/$program\" --version </dev/null 2>/dev/null "
    "9<&-) &&\n"
    "        \"$tool\" same-version \"$answer\" \"$version\" && mkfifo -m 600 \"$report\"; then\n"
    "        timeout -k 1 \"$seconds\" sh -c 'exec head -c 3 <\"$1\" >\"$1.answer\"' report "
    "\"$report\" 9<&- &\n"
    "        reader=$!\n"
    "        VELMO_UPDATE_REPORT_FD=4 \"$bundle/bin/$program\" --background 4>\"$report\" "
    "</dev/null 9<&- &\n"
    "        started=$!\n"
    "        wait \"$reader\"\n"
    "        up=$(cat \"$report.answer\")\n"
    "    fi\n"
    "    if [ \"$up\" != up ]; then\n"
    "        failure='the new version did not start'\n"
    "        if [ -n \"$started\" ]; then\n"
    "            kill \"$started\" 2>/dev/null\n"
    "            sleep 1\n"
    "            kill -9 \"$started\" 2>/dev/null\n"
    "            wait \"$started\"\n"
    "        fi\n"
    "        \"$tool\" exchange \"$staged\" \"$bundle\" || keep=yes\n"
    "    fi\n"
    "else\n"
    "    failure='the new version could not be put in place'\n"
    "fi\n"
    // The folder's mark goes last, so that a shell stopped while removing leaves a folder the
    // next check still knows.
    "[ -n \"$keep\" ] || { rm -rf -- \"$staged\" \"$tool\" \"$report\" \"$report.answer\" &&\n"
    "    rm -rf -- \"$folder\"; }\n"
    "[ -n \"$failure\" ] || exit 0\n"
    "export VELMO_UPDATE_FAILED=\"$failure\"\n"
    "exec \"$bundle/bin/$program\" --background 9<&-\n";

VelmoBundleSwap::VelmoBundleSwap(fs::path bundle, fs::path folder, VelmoFolderLock lock)
    : bundle_(std::move(bundle)), folder_(std::move(folder)), staged_(folder_ / bundle_.filename()),
      lock_(std::move(lock)) {}

std::optional<VelmoBundleSwap> VelmoBundleSwap::stage(const fs::path& newBundle,
                                                      const fs::path& bundle,
                                                      const fs::path& relaunchTool,
                                                      const std::string& product) {
    std::optional<VelmoBundleArchive::LockedFolder> folder = VelmoBundleArchive::makeWorkFolder(
        bundle.parent_path(), bundle.filename().string() + ".staged", product);
    if (!folder)
        return std::nullopt;
    VelmoBundleSwap swap(bundle, folder->path, std::move(folder->lock));
    std::error_code error;
    fs::rename(newBundle, swap.staged_, error);
    if (error) {
        error.clear();
        fs::copy(newBundle, swap.staged_,
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    }
    const fs::path tool = swap.folder_ / relaunchToolName;
    if (!error)
        fs::copy_file(relaunchTool, tool, error);
    if (!error)
        fs::permissions(tool, fs::perms::owner_read | fs::perms::owner_exec, error);
    if (error) {
        swap.discard();
        return std::nullopt;
    }
    fs::permissions(swap.staged_,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    error);
    return swap;
}

void VelmoBundleSwap::removeLeftovers(const fs::path& bundle, const std::string& product) {
    const std::string bundleName = bundle.filename().string();
    VelmoBundleArchive::removeWorkFolders(
        bundle.parent_path(), product,
        [&](const std::string& name) { return isStagingFolderName(name, bundleName); });
}

bool VelmoBundleSwap::startRelaunch(qint64 runningProcessId, const std::string& program,
                                    const std::string& expectedVersion,
                                    std::chrono::seconds reportTime,
                                    const std::map<QString, QString>& extraEnvironment) {
    // A process id of 0 or less would make kill reach a whole process group.
    const bool started =
        lock_ && runningProcessId > 0 &&
        VelmoDetachedProcess::start("/bin/sh",
                                    {"-c", relaunchScript, "velmo-relaunch",
                                     std::to_string(runningProcessId), bundle_.string(),
                                     folder_.string(), staged_.string(), program, expectedVersion,
                                     std::to_string(reportTime.count())},
                                    extraEnvironment, {{lock_->descriptor(), lockDescriptor}});
    if (!started) {
        discard();
        return false;
    }
    // The shell holds the lock from here on.
    lock_.reset();
    return true;
}

void VelmoBundleSwap::discard() {
    VelmoWorkFolderMark::removeFolder(folder_);
    lock_.reset();
}

} // namespace velmo
