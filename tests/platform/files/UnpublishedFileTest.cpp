#include "Tindrel/platform/files/UnpublishedFile.h"

#include "tests/support/FileText.h"
#include "tests/support/FolderListing.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using tindrel::platform::UnpublishedFile;
using Taken = UnpublishedFile::TakenName;
using namespace tindrel::test;
namespace fs = std::filesystem;

namespace {

// While not 0, this program stands on a file system that refuses O_TMPFILE and whose flock
// fails with this error, as NFS without its lock service, vfat or many FUSE file systems do.
std::atomic<int> flockFailure{0};

} // namespace

// Every open() and flock() of this program, ours and the libraries', goes through here; on
// 64-bit systems open64() is the same call.
extern "C" int open(const char* path, int flags, ...) {
    static const auto realOpen =
        reinterpret_cast<int (*)(const char*, int, ...)>(dlsym(RTLD_NEXT, "open"));
    int mode = 0;
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list arguments;
        va_start(arguments, flags);
        mode = va_arg(arguments, int);
        va_end(arguments);
    }
    if (flockFailure != 0 && (flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return realOpen(path, flags, mode);
}

extern "C" int open64(const char* path, int flags, ...) __attribute__((alias("open")));

extern "C" int flock(int fd, int operation) {
    static const auto realFlock = reinterpret_cast<int (*)(int, int)>(dlsym(RTLD_NEXT, "flock"));
    if (const int failure = flockFailure.load()) {
        errno = failure;
        return -1;
    }
    return realFlock(fd, operation);
}

namespace {

std::optional<UnpublishedFile> written(const fs::path& folder, const std::string& text) {
    std::optional<UnpublishedFile> file = UnpublishedFile::create(folder, 0644, nullptr);
    if (file && ::write(file->descriptor(), text.data(), text.size()) != ssize_t(text.size()))
        return std::nullopt;
    return file;
}

// Publishes `count` files as `named` at once in each of two processes.
void publishInTwoProcesses(const fs::path& named, int count) {
    pid_t writers[2];
    for (pid_t& writer : writers) {
        writer = fork();
        if (writer == 0) {
            for (int i = 0; i < count; ++i) {
                auto file = written(named.parent_path(),
                                    std::to_string(getpid()) + "/" + std::to_string(i));
                if (!file || !file->publishUnderFreeName(named, nullptr, nullptr))
                    _exit(1);
            }
            _exit(0);
        }
    }
    for (const pid_t writer : writers) {
        int status = 0;
        waitpid(writer, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
}

} // namespace

TEST(UnpublishedFile, takesAFreeNameAtOnceAndReplacesOnlyWhatItIsAllowedTo) {
    struct Case {
        const char* name;
        std::vector<const char*> taken; // files, or folders when ending in "/"
        Taken answer;
        const char* published; // none: nothing published
    };
    const Case cases[] = {
        {"a free name", {}, Taken::skip, "take.wav"},
        {"a file of the user's", {"take.wav"}, Taken::skip, "take (2).wav"},
        {"a folder and a file", {"take.wav/", "take (2).wav"}, Taken::skip, "take (3).wav"},
        {"a file that may go", {"take.wav"}, Taken::replace, "take.wav"},
        {"a stop", {"take.wav"}, Taken::giveUp, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryFolder folder;
        for (const std::string taken : c.taken) {
            if (taken.ends_with('/'))
                fs::create_directory(folder / taken.substr(0, taken.size() - 1));
            else
                std::ofstream(folder / taken) << "mine";
        }
        const std::set<std::string> before = tindrel::test::folderListing(folder.path());
        auto file = written(folder.path(), "new");
        ASSERT_TRUE(file);
        std::string error = "left from before";
        const auto published = file->publishUnderFreeName(
            folder / "take.wav", [&](const fs::path&) { return c.answer; }, &error);
        file.reset();

        ASSERT_EQ(published.has_value(), c.published != nullptr);
        EXPECT_TRUE(error.empty() || published) << error;
        std::set<std::string> expected = before;
        if (c.published) {
            EXPECT_EQ(*published, folder / c.published);
            EXPECT_EQ(readFileText(*published), "new");
            expected.insert(c.published);
        }
        EXPECT_EQ(tindrel::test::folderListing(folder.path()), expected);
        for (const std::string taken : c.taken) {
            if (!taken.ends_with('/') && (!c.published || taken != c.published)) {
                EXPECT_EQ(readFileText(folder / taken), "mine") << taken;
            }
        }
    }

    // Two writers of one name at the same moment each land under a name of their own.
    TemporaryFolder folder;
    publishInTwoProcesses(folder / "race.wav", 30);
    std::set<std::string> contents;
    for (const std::string& name : tindrel::test::folderListing(folder.path()))
        contents.insert(readFileText(folder / name));
    EXPECT_EQ(tindrel::test::folderListing(folder.path()).size(), 60u);
    EXPECT_EQ(contents.size(), 60u);
}

TEST(UnpublishedFile, leavesNothingWhenKilledAndItsHiddenFilesGoOnceUnheld) {
    TemporaryFolder folder;
    std::ofstream(folder / "song.wav") << "mine";
    std::ofstream(folder / ".tindrel.0123456789abcdeg.tmp") << "not of the pattern";
    // A writer killed before publishing leaves nothing; one killed while it held a hidden
    // file leaves that file unheld.
    for (const bool hidden : {false, true}) {
        const pid_t writer = fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            auto file = written(folder.path(), "partial");
            if (hidden && file)
                file->publishUnderHiddenName(nullptr);
            raise(SIGKILL);
        }
        int status = 0;
        ASSERT_EQ(waitpid(writer, &status, 0), writer);
        ASSERT_TRUE(WIFSIGNALED(status));
    }
    EXPECT_EQ(tindrel::test::folderListing(folder.path()).size(), 3u);
    auto held = written(folder.path(), "in use");
    ASSERT_TRUE(held);
    const auto heldPath = held->publishUnderHiddenName(nullptr);
    ASSERT_TRUE(heldPath);

    // The next new file in the folder clears what nobody holds, and only that.
    ASSERT_TRUE(written(folder.path(), "next"));
    EXPECT_EQ(tindrel::test::folderListing(folder.path()),
              (std::set<std::string>{"song.wav", ".tindrel.0123456789abcdeg.tmp",
                                     heldPath->filename().string()}));

    const struct {
        const char* name;
        bool leftover;
    } names[] = {
        {".tindrel.0123456789abcdef.tmp", true},  {".tindrel.0123456789ABCDEF.tmp", false},
        {".tindrel.0123456789abcde.tmp", false},  {"tindrel.0123456789abcdef.tmp", false},
        {".tindrel.0123456789abcdef.wav", false}, {".tindrel.0123456789abcdef.tmp~", false},
        {".tindrel.0123456789ab.part", false},
    };
    for (const auto& name : names)
        EXPECT_EQ(UnpublishedFile::isLeftoverName(name.name), name.leftover) << name.name;
}

TEST(UnpublishedFile, publishesWhereTheFileSystemTakesNeitherTmpfileNorLocks) {
    const struct {
        const char* what;
        int flockError;
        bool publishes;
    } cases[] = {
        {"no lock service", ENOLCK, true},
        {"no locks at all", EINVAL, true},
        {"every lock taken", EWOULDBLOCK, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TemporaryFolder folder;
        std::ofstream(folder / "song.wav") << "mine";
        flockFailure = c.flockError;
        std::string error;
        for (int take = 0; take < 2; ++take) {
            auto file = written(folder.path(), "take " + std::to_string(take));
            if (!c.publishes) {
                EXPECT_FALSE(UnpublishedFile::create(folder.path(), 0644, &error));
                EXPECT_EQ(error, std::strerror(c.flockError));
                continue;
            }
            ASSERT_TRUE(file);
            ASSERT_TRUE(file->publishUnderFreeName(folder / "take.wav", nullptr, &error)) << error;
        }
        // Nothing that could not be used stays behind.
        const std::set<std::string> published =
            c.publishes ? std::set<std::string>{"song.wav", "take.wav", "take (2).wav"}
                        : std::set<std::string>{"song.wav"};
        EXPECT_EQ(folderListing(folder.path()), published);
        if (!c.publishes) {
            flockFailure = 0;
            continue;
        }

        // Without locks a hidden file is its writer's while that process lives: a killed
        // writer's goes with the next new file, this live one's and another machine's stay.
        const pid_t writer = fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            auto file = written(folder.path(), "partial");
            if (file)
                file->publishUnderHiddenName(nullptr);
            raise(SIGKILL);
        }
        int status = 0;
        ASSERT_EQ(waitpid(writer, &status, 0), writer);
        std::string killed;
        for (const std::string& name : folderListing(folder.path()))
            if (name.starts_with("."))
                killed = name;
        ASSERT_TRUE(UnpublishedFile::isLeftoverName(killed)) << killed;
        std::string otherMachine = killed;
        char& hostDigit = otherMachine[std::string(".tindrel.").size()];
        hostDigit = hostDigit == '0' ? '1' : '0';
        std::ofstream(folder / otherMachine) << "theirs";
        EXPECT_FALSE(UnpublishedFile::isLeftoverName(otherMachine)) << otherMachine;
        auto held = written(folder.path(), "in use");
        ASSERT_TRUE(held);
        const auto heldPath = held->publishUnderHiddenName(nullptr);
        ASSERT_TRUE(heldPath);
        ASSERT_TRUE(written(folder.path(), "next"));
        std::set<std::string> kept = published;
        kept.insert({heldPath->filename().string(), otherMachine});
        EXPECT_EQ(folderListing(folder.path()), kept);
        flockFailure = 0;
    }
}
