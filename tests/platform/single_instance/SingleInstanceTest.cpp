#include "Tindrel/platform/desktop/single_instance/SingleInstance.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/TemporaryFolder.h"

#include <QFileInfo>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

using tindrel::platform::SingleInstance;

TEST(SingleInstance, HandOverArgumentsAreAbsolutePathsAndKeptOptions) {
    struct Case {
        const char* argument;
        const char* handedOver;
    } cases[] = {
        {"rel/ok.wav", "/work/here/rel/ok.wav"},
        {"./a/../b.flac", "/work/here/b.flac"},
        {"../up.mp3", "/work/up.mp3"},
        {"/abs/x.wav", "/abs/x.wav"},
        {"file:///music/a%20b.wav", "/music/a b.wav"},
        {"FILE:///music/c.wav", "/music/c.wav"},
        {"file://localhost/music/%FF.wav?q#f", "/music/\xff.wav"},
        {"file:/music/caf\xe9.wav", "/music/caf\xe9.wav"},
        {"caf\xe9 \xff.wav", "/work/here/caf\xe9 \xff.wav"},
        // No absolute path of this machine: named as it is, never a file of the working folder.
        {"file:x.wav", "file:x.wav"},
        {"file://elsewhere/x.wav", "file://elsewhere/x.wav"},
        {"--background", "--background"},
        {"-x", "-x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SingleInstance::handOverArguments({c.argument}, "/work/here"),
                  QByteArrayList{c.handedOver})
            << c.argument;
    EXPECT_EQ(SingleInstance::handOverArguments({"b", "-x", "a"}, "/w"),
              (QByteArrayList{"/w/b", "-x", "/w/a"}));
}

TEST(SingleInstance, ALaterLaunchHandsItsArgumentsToTheFirst) {
    tindrel::test::TemporaryFolder folder;
    const QString name = QString::fromStdString((folder / "tindrel.socket").string());
    SingleInstance first(name);
    ASSERT_EQ(first.claim({"/a.wav"}), SingleInstance::Claim::primary);

    QSignalSpy received(&first, &SingleInstance::argumentsReceived);
    for (const QByteArrayList& arguments :
         {QByteArrayList{"/x/one.wav", "--background", "/x/caf\xe9 \xff.wav"}, QByteArrayList{}}) {
        SingleInstance later(name);
        EXPECT_EQ(later.claim(arguments), SingleInstance::Claim::handedOver);
        ASSERT_TRUE(received.wait(10000) || !received.isEmpty());
        EXPECT_EQ(received.takeFirst().at(0).value<QByteArrayList>(), arguments);
    }
}

TEST(SingleInstance, ASocketLeftByAKilledProcessIsTakenOver) {
    tindrel::test::TemporaryFolder folder;
    const std::string path = (folder / "stale.socket").string();
    // A bound socket file that nobody listens on, as a killed first instance leaves it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(path)));

    SingleInstance next(QString::fromStdString(path));
    EXPECT_EQ(next.claim({"/b.wav"}), SingleInstance::Claim::primary);
    SingleInstance later(QString::fromStdString(path));
    EXPECT_EQ(later.claim({"/c.wav"}), SingleInstance::Claim::handedOver);
}

TEST(SingleInstance, WithoutARuntimeFolderTheSocketLivesInAFolderOnlyThisUserMayEnter) {
    namespace fs = std::filesystem;
    using tindrel::test::ScopedEnvironmentVariable;
    struct Case {
        const char* what;
        std::function<void(const fs::path& reserved)> prepare;
        bool usesTemporaryFolder;
    } cases[] = {
        {"nothing there yet", [](const fs::path&) {}, true},
        {"our own private folder",
         [](const fs::path& p) {
             fs::create_directory(p);
             fs::permissions(p, fs::perms::owner_all);
         },
         true},
        {"a folder others may enter",
         [](const fs::path& p) {
             fs::create_directory(p);
             fs::permissions(p, fs::perms::all);
         },
         false},
        {"a link to a private folder",
         [](const fs::path& p) {
             fs::create_directory(p.string() + "-target");
             fs::permissions(p.string() + "-target", fs::perms::owner_all);
             fs::create_directory_symlink(p.string() + "-target", p);
         },
         false},
        {"a file", [](const fs::path& p) { std::fclose(std::fopen(p.c_str(), "w")); }, false},
    };
    for (const Case& c : cases) {
        tindrel::test::TemporaryFolder sandbox;
        fs::create_directory(sandbox / "tmp");
        ScopedEnvironmentVariable runtime("XDG_RUNTIME_DIR", std::nullopt);
        ScopedEnvironmentVariable temporary("TMPDIR", (sandbox / "tmp").string());
        ScopedEnvironmentVariable cache("XDG_CACHE_HOME", (sandbox / "cache").string());
        const fs::path reserved = sandbox / "tmp" / ("tindrel-" + std::to_string(getuid()));
        c.prepare(reserved);

        const fs::path socket = SingleInstance::defaultSocketName().toStdString();
        const fs::path expectedFolder =
            c.usesTemporaryFolder ? reserved : sandbox / "cache" / "tindrel";
        EXPECT_EQ(socket, expectedFolder / "tindrel.socket") << c.what;
        const auto status = fs::symlink_status(socket.parent_path());
        EXPECT_EQ(status.type(), fs::file_type::directory) << c.what;
        EXPECT_EQ(status.permissions() & fs::perms::mask, fs::perms::owner_all) << c.what;

        // The folder is usable end to end: a first instance listens, a later one hands over.
        SingleInstance first(QString::fromStdString(socket.string()));
        EXPECT_EQ(first.claim({}), SingleInstance::Claim::primary) << c.what;
        EXPECT_TRUE(SingleInstance::handOverToRunning(first.socketName(), {"/a.wav"})) << c.what;
    }
}
