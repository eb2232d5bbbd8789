#include "Tindrel/VelmoCore/VelmoUpdateRow.h"
#include "Tindrel/VelmoCore/VelmoUpdateBannerView.h"
#include "Tindrel/VelmoCore/VelmoUpdateStore.h"
#include "tests/VelmoCore/UpdateTestEnvironment.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace velmo;
using velmo::test::RecordedEffects;

namespace {

// Nothing listens there: checks and downloads end at once without an answer.
const QString closedHost = QStringLiteral("https://127.0.0.1:1");

class UpdateRow : public testing::Test {
protected:
    std::unique_ptr<VelmoUpdateStore> makeStore(bool simulated) {
        VelmoUpdateEnvironment environment = test::testEnvironment(closedHost, effects);
        environment.bundleLocation = std::filesystem::temp_directory_path() / "Tindrel.app";
        if (simulated)
            environment.arguments << QStringLiteral("--simulate-out-of-date");
        auto store =
            std::make_unique<VelmoUpdateStore>(QStringLiteral("tindrel"), QStringLiteral("Tindrel"),
                                               QStringLiteral("1.0"), environment);
        if (!simulated) {
            EXPECT_TRUE(test::waitFor(*store, &VelmoUpdateStore::checkFinished));
        }
        return store;
    }

    // The banner's visible buttons and texts, in the order they sit.
    static QStringList shownTexts(const QWidget& banner) {
        QStringList texts;
        for (const QWidget* child : banner.findChildren<QWidget*>()) {
            if (!child->isVisible())
                continue;
            if (const auto* button = qobject_cast<const QPushButton*>(child))
                texts << button->text();
            else if (const auto* label = qobject_cast<const QLabel*>(child))
                texts << label->text();
            else if (qobject_cast<const QProgressBar*>(child))
                texts << QStringLiteral("[busy]");
        }
        return texts;
    }

    static QPushButton* button(const QWidget& banner, const QString& text) {
        for (QPushButton* candidate : banner.findChildren<QPushButton*>())
            if (candidate->text() == text)
                return candidate;
        return nullptr;
    }

    RecordedEffects effects;
};

TEST_F(UpdateRow, ShowsTheBannerOnlyWhileANewerReleaseIsKnown) {
    auto current = makeStore(false);
    VelmoUpdateRow quiet(*current);
    quiet.show();
    EXPECT_FALSE(quiet.banner().isVisible());
    EXPECT_FALSE(quiet.statusText().isVisible());
    EXPECT_EQ(quiet.checkButton().text(), QStringLiteral("Check for Updates"));

    auto simulated = makeStore(true);
    VelmoUpdateRow row(*simulated);
    row.resize(900, 40);
    row.show();
    ASSERT_TRUE(row.banner().isVisible());
    EXPECT_FALSE(row.statusText().isVisible());
    EXPECT_EQ(shownTexts(row.banner()),
              (QStringList{QStringLiteral("OUT OF DATE \u00B7 v1.0 \u2192 v0.9.9"),
                           QStringLiteral("Update Now"), QStringLiteral("What's New")}));
    EXPECT_TRUE(row.banner().message().startsWith(
        QStringLiteral("Tindrel v0.9.9 update available \u00B7 ")));
    VelmoUpdateBannerView compact(*simulated, true);
    EXPECT_EQ(compact.message(), QStringLiteral("Tindrel v0.9.9 is ready"));

    QTest::mouseClick(button(row.banner(), QStringLiteral("What's New")), Qt::LeftButton);
    EXPECT_EQ(effects.opened, QList<QUrl>{QUrl(closedHost + QStringLiteral("/tindrel#downloads"))});
}

TEST_F(UpdateRow, CheckButtonRunsACheckWithMessages) {
    auto store = makeStore(false);
    VelmoUpdateRow row(*store);
    row.show();
    QSignalSpy finished(store.get(), &VelmoUpdateStore::checkFinished);
    QTest::mouseClick(&row.checkButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->checkingForUpdates(); }, 5000));
    EXPECT_EQ(row.checkButton().text(), QStringLiteral("Checking..."));
    EXPECT_TRUE(row.checkButton().isEnabled());
    EXPECT_EQ(row.statusText().text(), QStringLiteral("Checking for Tindrel updates..."));
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(row.checkButton().text(), QStringLiteral("Check for Updates"));
    EXPECT_TRUE(row.statusText().isVisible());
    EXPECT_EQ(row.statusText().text(), QStringLiteral("Could not check for updates (v1.0)"));
}

TEST_F(UpdateRow, UpdateNowShowsProgressUntilTheInstallEnds) {
    auto store = makeStore(true);
    VelmoUpdateRow row(*store);
    row.resize(900, 40);
    row.show();
    QStringList whileInstalling;
    QObject::connect(store.get(), &VelmoUpdateStore::changed, [&] {
        if (store->installingUpdate())
            whileInstalling = shownTexts(row.banner());
    });
    QSignalSpy finished(store.get(), &VelmoUpdateStore::installFinished);
    QTest::mouseClick(button(row.banner(), QStringLiteral("Update Now")), Qt::LeftButton);
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(whileInstalling,
              (QStringList{QStringLiteral("OUT OF DATE \u00B7 v1.0 \u2192 v0.9.9"),
                           QStringLiteral("[busy]"), QStringLiteral("Updating...")}));
    // The simulated release's address is an archive query, so it was downloaded, and failed.
    EXPECT_EQ(store->updateStatusText(), QStringLiteral("Opened download in browser."));
    EXPECT_EQ(effects.opened,
              QList<QUrl>{QUrl(closedHost + QStringLiteral("/api/download?platform=tindrel-zip"))});
    EXPECT_NE(button(row.banner(), QStringLiteral("Update Now")), nullptr);
    EXPECT_TRUE(button(row.banner(), QStringLiteral("Update Now"))->isVisible());
}

} // namespace
