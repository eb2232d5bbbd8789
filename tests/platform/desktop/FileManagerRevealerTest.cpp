#include "Tindrel/platform/desktop/FileManagerRevealer.h"

#include "tests/support/TemporaryFolder.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

namespace {

// A file manager on the test's own bus that records what it is asked to show. Replies with an
// error while `failing` is set.
class RecordingFileManager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList calls;
    bool failing = false;

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId) {
        record("ShowItems", uris, startupId);
    }
    void ShowFolders(const QStringList& uris, const QString& startupId) {
        record("ShowFolders", uris, startupId);
    }

private:
    void record(const QString& method, const QStringList& uris, const QString& startupId) {
        calls << method + " " + uris.join(' ') + " [" + startupId + "]";
        if (failing)
            sendErrorReply(QDBusError::Failed, "cannot show");
    }
};

// A private message bus, so no test talks to the desktop's real session bus.
class PrivateBus {
public:
    PrivateBus() {
        const QString program = QStandardPaths::findExecutable("dbus-daemon");
        if (program.isEmpty())
            return;
        const std::filesystem::path config = folder_ / "bus.conf";
        std::ofstream(config)
            << "<busconfig><type>session</type><listen>unix:dir=" << folder_.path().string()
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
               "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
               "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>";
        daemon_.start(program, {"--nofork", "--print-address=1",
                                "--config-file=" + QString::fromStdString(config.string())});
        QDeadlineTimer guard(20000);
        while (!daemon_.canReadLine() && daemon_.state() != QProcess::NotRunning &&
               !guard.hasExpired())
            daemon_.waitForReadyRead(1000);
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : names_)
            QDBusConnection::disconnectFromBus(name);
        daemon_.kill();
        daemon_.waitForFinished();
    }

    bool isRunning() const { return !address_.isEmpty(); }
    QDBusConnection connect(const QString& name) {
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    tindrel::test::TemporaryFolder folder_;
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

// Runs the event loop until the condition holds; the guard only keeps a broken run from hanging.
bool processEventsUntil(const std::function<bool()>& condition) {
    QDeadlineTimer guard(20000);
    while (!condition() && !guard.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    return condition();
}

class FileManagerRevealerTest : public testing::Test {
protected:
    void SetUp() override {
        if (!bus.isRunning())
            GTEST_SKIP() << "dbus-daemon is not available";
    }
    tindrel::platform::FileManagerRevealer makeRevealer(QDBusConnection connection) {
        return tindrel::platform::FileManagerRevealer(
            connection, [this](const QUrl& folder) { openedFolders << folder.toString(); });
    }

    PrivateBus bus;
    QStringList openedFolders;
};

TEST_F(FileManagerRevealerTest, asksTheFileManagerAndFallsBackOnlyWhenItFails) {
    RecordingFileManager fileManager;
    QDBusConnection service = bus.connect("file-manager");
    ASSERT_TRUE(service.registerObject("/org/freedesktop/FileManager1", &fileManager,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService("org.freedesktop.FileManager1"));
    auto revealer = makeRevealer(bus.connect("client"));

    revealer.revealFiles({"/music/Take 1.wav", "/music/../other/é.flac"});
    revealer.openFolder("/music/");
    ASSERT_TRUE(processEventsUntil([&] { return fileManager.calls.size() == 2; }));
    EXPECT_EQ(fileManager.calls[0],
              "ShowItems file:///music/Take%201.wav file:///other/%C3%A9.flac []");
    EXPECT_EQ(fileManager.calls[1], "ShowFolders file:///music/ []");

    // Replies arrive in order: once the failing call has fallen back, the earlier ones are in.
    fileManager.failing = true;
    revealer.revealFiles({"/music/Take 1.wav", "/music/Take 2.wav", "/other/x.wav"});
    ASSERT_TRUE(processEventsUntil([&] { return !openedFolders.isEmpty(); }));
    EXPECT_EQ(openedFolders, (QStringList{"file:///music", "file:///other"}));
}

TEST_F(FileManagerRevealerTest, withoutAFileManagerTheFolderOpens) {
    auto revealer = makeRevealer(bus.connect("client"));
    revealer.revealFiles({"/music/Take 1.wav"});
    ASSERT_TRUE(processEventsUntil([&] { return !openedFolders.isEmpty(); }));
    EXPECT_EQ(openedFolders, QStringList{"file:///music"});

    // No bus at all: the fallback runs at once.
    openedFolders.clear();
    auto unconnected = makeRevealer(QDBusConnection("never-connected"));
    unconnected.openFolder("/music");
    EXPECT_EQ(openedFolders, QStringList{"file:///music"});
}

} // namespace

#include "FileManagerRevealerTest.moc"
