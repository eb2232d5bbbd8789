#pragma once

// The one way the program makes a new file (an export, a decoded copy, a settings file): it is
// written without a name others can see and published under its name only once it is
// complete, so a failure, a drop without publishing or a kill leaves nothing half made.
//
// The file is unnamed (O_TMPFILE) where the file system allows; elsewhere it has a hidden name
// of the patterns isLeftoverName() knows. Its writer holds a shared flock on it from the
// start, so a hidden file whose writer is gone (killed) is told from one being written, and is
// removed the next time a file is made in its folder (removeLeftovers). Where the file system
// takes no locks (NFS without its lock service), the hidden name carries the machine and the
// writer's process id instead, and the file goes once that process has ended.
//
// Publishing under a free name never replaces anything: the name is taken in one step (a link,
// or a rename that refuses an existing name), and when it is taken the next of
// "<stem> (2)<ext>", "<stem> (3)<ext>", ... is tried, so two writers of one name both land.
// Only a file the caller's test accepts is replaced, in one step.
//
// Flushing the data before publishing is the caller's choice (DiskFlush); the folder's entry
// is flushed by each publish. One thread at a time per object; blocking I/O.

#include "Tindrel/platform/files/FileDescriptor.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tindrel::platform {

class UnpublishedFile {
public:
    // A new file in `folder`, open for reading and writing, with `mode` less the umask. None,
    // with `error` set to the system's reason, when the folder takes no new file.
    static std::optional<UnpublishedFile> create(const std::filesystem::path& folder, mode_t mode,
                                                 std::string* error);
    UnpublishedFile(UnpublishedFile&& other) noexcept;
    UnpublishedFile& operator=(UnpublishedFile&&) = delete;
    UnpublishedFile(const UnpublishedFile&) = delete;
    ~UnpublishedFile();

    int descriptor() const { return file_.get(); }
    // A path through which another program writes the same file.
    std::string pathForWriting() const;

    // What to do about a name that is taken: try the next number, replace what has it, or
    // publish nothing.
    enum class TakenName { skip, replace, giveUp };
    // Publishes the file as `named` or, when that name is taken, as the first free numbered
    // name up to " (9999)", asking `taken` (given the path) about each name that is taken. The
    // name taken; none with `error` set, or with `error` empty after giveUp.
    std::optional<std::filesystem::path>
    publishUnderFreeName(const std::filesystem::path& named,
                         const std::function<TakenName(const std::filesystem::path&)>& taken,
                         std::string* error);
    // Publishes the file as `target`, replacing a file of that name in one step. False with
    // `error` set when it cannot (a folder is at the name).
    bool publishReplacing(const std::filesystem::path& target, std::string* error);
    // Keeps the file under a hidden name of its own, for use while its holder lives; once
    // unheld it goes with the next clean-up of the folder.
    std::optional<std::filesystem::path> publishUnderHiddenName(std::string* error);

    // The held descriptor; after a publish, whoever uses the file holds it on.
    FileDescriptor release();

    // Whether `name` is of a hidden pattern: ".tindrel.<16 hex digits>.tmp", or one of an
    // unlocked file of this machine (".tindrel.<host>.<process id>.<16 hex digits>.tmp").
    static bool isLeftoverName(std::string_view name);
    // Removes the hidden files of this user in `folder` that nobody holds, or whose writer has
    // ended. Errors are ignored.
    static void removeLeftovers(const std::filesystem::path& folder);

private:
    UnpublishedFile(FileDescriptor file, std::filesystem::path folder,
                    std::filesystem::path hiddenPath, bool held);
    std::string procPath() const;
    // The file at `target` unless something has that name; errno EEXIST then.
    bool placeWithoutReplacing(const std::filesystem::path& target);
    // A hidden name for the file, linked now when the file has none yet.
    bool nameHidden(std::string* error);

    FileDescriptor file_;
    std::filesystem::path folder_;
    std::filesystem::path hiddenPath_; // empty while the file has no name
    bool held_;                        // its lock; hidden names then need no process id
    bool published_ = false;
};

} // namespace tindrel::platform
