#include "Tindrel/shell/TindrelAppDelegate.h"
#include "Tindrel/mainwindow/HeaderBar.h"
#include "Tindrel/mainwindow/PillButton.h"
#include "Tindrel/mainwindow/TindrelMainView.h"
#include "Tindrel/platform/desktop/single_instance/SingleInstance.h"
#include "Tindrel/shell/TindrelMainWindow.h"
#include "Tindrel/shell/TindrelStatusItem.h"
#include "Tindrel/shell/WindowPaintingHeartbeat.h"
#include "tests/store_support/StoreTestRig.h"
#include "tests/support/GeneratedAudio.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>

using namespace tindrel;
using tindrel::platform::SingleInstance;
using tindrel::test::StoreTestRig;

namespace {

// A private store on a sandboxed home, with audio files at home/rel/ok.wav and
// home/music/{a,b}.wav; the delegate's default-handler list goes to the sandbox too.
class Launch {
public:
    Launch() {
        for (const auto& file : {ok(), music() / "a.wav", music() / "b.wav"}) {
            std::filesystem::create_directories(file.parent_path());
            test::writeAudioFile(file, test::sineSignal(440, 0.3, 1.0));
        }
    }

    std::filesystem::path ok() const { return rig.home() / "rel" / "ok.wav"; }
    std::filesystem::path music() const { return rig.home() / "music"; }
    TindrelStore& store() { return rig.store(); }
    bool windowShown() const {
        return delegate && delegate->mainWindow() && delegate->mainWindow()->isVisible();
    }

    // Returns once the whole launch ran: what follows the window's first paint too.
    void start(const QByteArrayList& arguments, bool trayAvailable = true) {
        startWithoutWaiting(arguments, trayAvailable);
        for (int i = 0; i < 500 && !delegate->statusItem(); ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_NE(delegate->statusItem(), nullptr);
    }
    void startWithoutWaiting(const QByteArrayList& arguments, bool trayAvailable = true) {
        delegate = std::make_unique<TindrelAppDelegate>(rig.store(),
                                                        [trayAvailable] { return trayAvailable; });
        delegate->applicationDidFinishLaunching(arguments, rig.home());
    }

    StoreTestRig rig{StoreTestRig::Desktop::sandboxed};
    std::unique_ptr<TindrelAppDelegate> delegate;
};

std::optional<std::string> currentFile(TindrelStore& store) {
    return store.currentURL.get() ? std::optional(store.currentURL.get()->string()) : std::nullopt;
}

} // namespace

TEST(TindrelAppDelegate, CommandLineDecidesWhatOpensAndWhetherTheWindowShows) {
    struct Case {
        QByteArrayList arguments;
        bool trayAvailable;
        bool window;
        bool opensOkAndPlays;
    } cases[] = {
        {{"tindrel", "-x", "/missing", "rel/ok.wav"}, true, true, true},
        {{"tindrel", "--background"}, true, false, false},
        // Without a tray nothing else would be on screen to reach the program by.
        {{"tindrel", "--background"}, false, true, false},
        {{"tindrel", "--background", "rel/ok.wav"}, true, true, true},
        {{"tindrel", "rel/ok.wav", "--background"}, true, true, true},
        {{"tindrel"}, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString() + (c.trayAvailable ? "" : " (no tray)"));
        Launch launch;
        launch.start(c.arguments, c.trayAvailable);
        EXPECT_EQ(launch.windowShown(), c.window);
        EXPECT_NE(launch.delegate->statusItem(), nullptr);
        // Not installed (as in a build tree): registering would only name a program the
        // desktop passes over, so the user's list is left alone.
        EXPECT_FALSE(std::filesystem::exists(launch.rig.desktop().configHome() / "mimeapps.list"));
        if (c.opensOkAndPlays) {
            EXPECT_EQ(currentFile(launch.store()), launch.ok().string());
            EXPECT_TRUE(launch.store().isPlaying.get());
        } else {
            // No recents: Downloads is listed into the history and nothing is loaded.
            EXPECT_EQ(currentFile(launch.store()), std::nullopt);
            EXPECT_EQ(launch.store().currentFolderURL.get(), launch.rig.home() / "Downloads");
            EXPECT_EQ(launch.store().folderHistory->size(), 1u);
        }
        // Once the tray goes away, the window is the one way left to reach the program.
        emit launch.delegate->statusItem()->trayWentAway();
        QCoreApplication::processEvents();
        EXPECT_TRUE(launch.windowShown());
    }
}

TEST(TindrelAppDelegate, TheWindowIsPaintedBeforeTheRestOfTheLaunch) {
    Launch launch;
    launch.startWithoutWaiting({"tindrel", "rel/ok.wav"});
    ASSERT_TRUE(launch.windowShown());
    EXPECT_FALSE(launch.delegate->mainWindow()->hasBeenPainted());
    EXPECT_EQ(launch.delegate->statusItem(), nullptr);
    EXPECT_EQ(currentFile(launch.store()), std::nullopt);

    QSignalSpy painted(launch.delegate->mainWindow(), &TindrelMainWindow::firstPainted);
    ASSERT_TRUE(painted.wait(5000));
    QCoreApplication::processEvents();
    // Then the file plays and the tray shows its title, the keyboard table acting.
    EXPECT_EQ(currentFile(launch.store()), launch.ok().string());
    EXPECT_TRUE(launch.store().isPlaying.get());
    ASSERT_NE(launch.delegate->statusItem(), nullptr);
    EXPECT_FALSE(launch.delegate->statusItem()->title().isEmpty());
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, 65, 0, 0);
    QApplication::sendEvent(launch.delegate->mainWindow(), &space);
    EXPECT_FALSE(launch.store().isPlaying.get());
}

TEST(TindrelAppDelegate, AFileUrlOpensAtLaunchAsAtHandOver) {
    Launch launch;
    std::filesystem::rename(launch.ok(), launch.music() / "a b#.wav");
    launch.start(
        {"tindrel", "--x",
         QUrl::fromLocalFile(QString::fromStdString((launch.music() / "a b#.wav").string()))
             .toString()
             .toUtf8()});
    EXPECT_EQ(currentFile(launch.store()), (launch.music() / "a b#.wav").string());
    EXPECT_TRUE(launch.store().isPlaying.get());
}

TEST(TindrelAppDelegate, WithoutArgumentsTheNewestRecentFileIsLoadedWithoutPlaying) {
    Launch launch;
    launch.store().loadAndPlay(launch.music() / "a.wav", true);
    launch.store().loadAndPlay(launch.ok(), true);
    launch.store().stopAndCleanup();
    launch.rig.restartStore();

    launch.start({"tindrel"});
    EXPECT_TRUE(launch.windowShown());
    EXPECT_EQ(currentFile(launch.store()), launch.ok().string());
    EXPECT_FALSE(launch.store().isPlaying.get());
}

TEST(TindrelAppDelegate, AFolderOnTheCommandLineIsBrowsedNeverMadeCurrent) {
    Launch launch;
    launch.start({"tindrel", "music"});
    TindrelStore& store = launch.store();
    EXPECT_TRUE(launch.windowShown());
    EXPECT_EQ(store.currentFolderURL.get(), launch.music());
    EXPECT_EQ(store.folderHistory->back(), launch.music());
    // Its first audio file is loaded, not played; the folder is neither current nor recent.
    EXPECT_EQ(currentFile(store), (launch.music() / "a.wav").string());
    EXPECT_FALSE(store.isPlaying.get());
    const auto& recents = store.recentFiles.get();
    EXPECT_EQ(std::count(recents.begin(), recents.end(), launch.music()), 0);
}

TEST(TindrelAppDelegate, ALaterLaunchHandsItsRelativePathToTheRunningInstance) {
    Launch launch;
    const QString socket = QString::fromStdString((launch.rig.root() / "instance.socket").string());
    SingleInstance running(socket);
    ASSERT_EQ(running.claim({}), SingleInstance::Claim::primary);
    launch.start({"tindrel", "--background"});
    QObject::connect(&running, &SingleInstance::argumentsReceived, launch.delegate.get(),
                     &TindrelAppDelegate::openDocuments);
    ASSERT_FALSE(launch.windowShown());

    QSignalSpy received(&running, &SingleInstance::argumentsReceived);
    SingleInstance later(socket);
    EXPECT_EQ(later.claim(SingleInstance::handOverArguments({"rel/ok.wav"}, launch.rig.home())),
              SingleInstance::Claim::handedOver);
    ASSERT_TRUE(received.wait(10000));

    EXPECT_TRUE(launch.windowShown());
    EXPECT_EQ(currentFile(launch.store()), launch.ok().string());
    EXPECT_TRUE(launch.store().isPlaying.get());

    // A missing first path is opened all the same, so the store says what is missing; the
    // paths after it are not looked at.
    SingleInstance laterStill(socket);
    EXPECT_EQ(laterStill.claim(SingleInstance::handOverArguments({"nothere.wav", "music/b.wav"},
                                                                 launch.rig.home())),
              SingleInstance::Claim::handedOver);
    ASSERT_TRUE(received.wait(10000));
    EXPECT_EQ(launch.store().statusBanner.get(), QStringLiteral("File not found: nothere.wav"));
    EXPECT_EQ(currentFile(launch.store()), launch.ok().string());

    // A later plain launch only brings the same window forward, minimized or not.
    TindrelMainWindow* window = launch.delegate->mainWindow();
    window->showMinimized();
    launch.delegate->openDocuments({});
    EXPECT_EQ(launch.delegate->mainWindow(), window);
    EXPECT_FALSE(window->isMinimized());
}

TEST(TindrelAppDelegate, PathsKeepTheirBytesAndAFileUrlNamesNoFileOfTheWorkingFolder) {
    Launch launch;
    const std::filesystem::path home = launch.rig.home();
    const std::string latin1Name = "caf\xe9 \xff.wav"; // not UTF-8
    for (const auto& name : {latin1Name, std::string("x.wav")})
        test::writeAudioFile(home / name, test::sineSignal(440, 0.3, 1.0));
    launch.start({"tindrel", "--background", QByteArray::fromStdString(latin1Name)});
    EXPECT_EQ(currentFile(launch.store()), (home / latin1Name).string());

    const struct {
        QByteArray argument; // as a later launch in the home folder got it
        std::optional<std::filesystem::path> opened;
        QString status;
    } cases[] = {
        {"x.wav", home / "x.wav", "Playing x.wav"},
        {QByteArray::fromStdString(latin1Name), home / latin1Name, "Playing caf\uFFFD \uFFFD.wav"},
        {"file://" + QByteArray::fromStdString(home.string()) + "/caf%E9%20%FF.wav",
         home / latin1Name, "Playing caf\uFFFD \uFFFD.wav"},
        // Not an absolute path: the x.wav of the working folder is not what it names.
        {"file:x.wav", std::nullopt, "File not found: file:x.wav"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument.toStdString());
        launch.store().loadAndPlay(launch.music() / "a.wav", false);
        launch.delegate->openDocuments(SingleInstance::handOverArguments({c.argument}, home));
        EXPECT_EQ(currentFile(launch.store()),
                  (c.opened ? *c.opened : launch.music() / "a.wav").string());
        EXPECT_TRUE(launch.store().statusBanner->startsWith(c.status))
            << launch.store().statusBanner->toStdString();
    }
}

TEST(TindrelAppDelegate, ClosingTheWindowCleansUpAndASecondCleanUpIsHarmless) {
    Launch launch;
    launch.start({"tindrel", "rel/ok.wav"});
    ASSERT_TRUE(launch.store().isPlaying.get());
    ASSERT_TRUE(launch.rig.ticker().isRunning());

    launch.delegate->mainWindow()->close();
    EXPECT_FALSE(launch.store().isPlaying.get());
    EXPECT_FALSE(launch.rig.ticker().isRunning());
    launch.delegate->applicationWillTerminate();
    EXPECT_FALSE(launch.store().isPlaying.get());
}

TEST(TindrelAppDelegate, LaunchingEndsWithTheKeyTableOnTheApplication) {
    Launch launch;
    launch.start({"tindrel", "rel/ok.wav"});
    ASSERT_TRUE(launch.store().isPlaying.get());
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, 65, 0, 0);
    QApplication::sendEvent(launch.delegate->mainWindow(), &space);
    EXPECT_FALSE(launch.store().isPlaying.get());
}

TEST(TindrelAppDelegate, TheHeadersExitCleansUpAndEndsTheEventLoop) {
    Launch launch;
    launch.start({"tindrel", "rel/ok.wav"});
    ASSERT_TRUE(launch.store().isPlaying.get());
    PillButton& exit = launch.delegate->mainWindow()->mainView().header().exitButton();
    QTimer::singleShot(0, &exit, [&exit] { exit.click(); });
    // Only a quit ends this loop in time; otherwise the guard ends it with a failure code.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(10000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(launch.store().isPlaying.get());
    EXPECT_FALSE(launch.rig.ticker().isRunning());
}

TEST(TindrelAppDelegate, AWindowClosedDuringAnExportEndsItAtOnceAndLaterClicksActNoMore) {
    Launch launch;
    const std::filesystem::path song = launch.music() / "long.wav";
    test::writeAudioFile(song, test::sineSignal(440, 0.3, 60.0));
    launch.start({"tindrel", QByteArray::fromStdString(song.string())});
    TindrelStore& store = launch.store();
    store.setPlaybackRate(1.5f);
    store.keepResponsiveDuringWork =
        windowPaintingHeartbeat([&launch] { return launch.delegate->isTerminating(); });
    // Delivered at the export's first turn, as a window manager's close request would be.
    QCoreApplication::postEvent(launch.delegate->mainWindow(), new QCloseEvent);
    PillButton& exportButton = launch.delegate->mainWindow()->mainView().header().exportButton();
    QTest::mouseClick(&exportButton, Qt::LeftButton);
    EXPECT_TRUE(launch.delegate->isTerminating());
    EXPECT_FALSE(std::filesystem::exists(launch.music() / "long_modified_1.5x.wav"));

    // A click that waited behind the export starts no other one on the way out.
    QTest::mouseClick(&exportButton, Qt::LeftButton);
    EXPECT_FALSE(std::filesystem::exists(launch.music() / "long_modified_1.5x.wav"));
    EXPECT_FALSE(store.statusBanner.get().startsWith(QStringLiteral("Exported")));
}
