#include "Tindrel/VelmoCore/VelmoUpdateStore.h"
#include "tests/VelmoCore/UpdateTestEnvironment.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace velmo;
using velmo::test::RecordedEffects;
using velmo::test::testEnvironment;

namespace {

// Nothing listens there: a check that starts ends at once without an answer.
const QString closedHost = QStringLiteral("https://127.0.0.1:1");

TEST(VelmoUpdateStore, ComparesVersionsPieceByPieceAsNumbers) {
    struct Case {
        const char* candidate;
        const char* reference;
        bool newer;
    };
    const Case cases[]{
        {"1.2.10", "1.2.9", true},
        {"1.0", "1.0.0", false},
        {"1.0.1", "1.0", true},
        {"v2.0", "1.9.9", true},
        {"V2.0", "1.9.9", true},
        {" 2.0 ", "1.9.9", true},
        {" V2.0 ", "1.9.9", true},
        {"1.2.3-beta", "1.2", false},
        {"1.2.3-beta", "1.2.2", false},
        {"1.x.5", "1.4", true},
        {"1..5", "1.4", true},
        {".2.", "1", true},
        {"", "1.0", false},
        {"", "", false},
        {"1.0", "1.0", false},
        {"+2", "1", true},
        {"-1", "0", false},
        {"1.-1", "1", false},
        {"1.+-1.5", "1.4", true}, // "+-1" does not read: 1.5 against 1.4
        {"9223372036854775807", "9223372036854775806", true},
        {"9223372036854775808.5", "4", true}, // overflowing piece dropped: 5 against 4
        {"1 .2", "1.1", true},                // "1 " does not read: 2 against 1.1
    };
    for (const Case& item : cases)
        EXPECT_EQ(VelmoUpdateStore::isVersionNewer(item.candidate, item.reference), item.newer)
            << item.candidate << " vs " << item.reference;
}

TEST(VelmoUpdateStore, SimulateSwitchReportsAFixedReleaseWithoutAnyCheck) {
    struct Case {
        std::optional<QString> variable;
        QStringList extraArguments;
        bool on;
    };
    const Case cases[]{
        {QStringLiteral("1"), {}, true},
        {std::nullopt,
         {QStringLiteral("--background"), QStringLiteral("--simulate-out-of-date")},
         true},
        {QStringLiteral("true"), {QStringLiteral("--simulate-out-of-date")}, true},
        {QStringLiteral("true"), {}, false},
        {QStringLiteral("01"), {}, false},
        {QStringLiteral("1 "), {}, false},
        {std::nullopt, {QStringLiteral("--simulate-out-of-date=1")}, false},
        {std::nullopt, {QStringLiteral("--Simulate-Out-Of-Date")}, false},
    };
    for (const Case& item : cases) {
        RecordedEffects effects;
        VelmoUpdateEnvironment environment = testEnvironment(closedHost, effects);
        if (item.variable)
            environment.environmentVariables[QStringLiteral("VELMO_SIMULATE_OUT_OF_DATE")] =
                *item.variable;
        environment.arguments << item.extraArguments;
        VelmoUpdateStore store(QStringLiteral("tindrel"), QStringLiteral("Tindrel"),
                               QStringLiteral("1.4.2"), environment);
        bool checkStarted = false;
        QObject::connect(&store, &VelmoUpdateStore::changed,
                         [&] { checkStarted = checkStarted || store.checkingForUpdates(); });
        // The first automatic check starts once the constructing work is done.
        QCoreApplication::processEvents();
        const QString label = item.variable.value_or(QStringLiteral("-")) + QLatin1Char(' ') +
                              item.extraArguments.join(QLatin1Char(' '));
        EXPECT_EQ(checkStarted, !item.on) << label.toStdString();
        EXPECT_EQ(store.isOutOfDate(), item.on) << label.toStdString();
        if (!item.on) {
            // That check is silent: no message when nothing answered.
            ASSERT_TRUE(test::waitFor(store, &VelmoUpdateStore::checkFinished));
            EXPECT_EQ(store.updateStatusText(), QString());
            continue;
        }
        EXPECT_EQ(store.availableVersion(), QStringLiteral("0.9.9"));
        EXPECT_FALSE(store.updateNotes().isEmpty());
        EXPECT_EQ(store.updateDownloadURL(),
                  closedHost + QStringLiteral("/api/download?platform=tindrel-zip"));
        EXPECT_EQ(store.updateStatusText(),
                  QStringLiteral("Out of date (v1.4.2 -> v0.9.9 available)"));
    }
}

TEST(VelmoUpdateStore, TheRelaunchAfterAFailedUpdateSaysWhatFailed) {
    const struct {
        const char* variable;
        QString status;
    } cases[]{
        {"the new version did not start",
         QStringLiteral("Update failed: the new version did not start")},
        {"", QString()},
    };
    for (const auto& item : cases) {
        RecordedEffects effects;
        VelmoUpdateEnvironment environment = testEnvironment(closedHost, effects);
        environment.environmentVariables[QStringLiteral("VELMO_UPDATE_FAILED")] = item.variable;
        VelmoUpdateStore store(QStringLiteral("tindrel"), QStringLiteral("Tindrel"),
                               QStringLiteral("1.0"), environment);
        ASSERT_TRUE(test::waitFor(store, &VelmoUpdateStore::checkFinished));
        EXPECT_EQ(store.updateStatusText(), item.status) << item.variable;
    }
}

} // namespace

TEST(VelmoUpdateEnvironment, FindsTheProgramFolderOnlyAboveBinOfADotAppFolder) {
    const struct {
        const char* executableFolder;
        std::optional<std::filesystem::path> bundle;
    } cases[]{
        {"/home/u/.local/opt/Tindrel.app/bin", "/home/u/.local/opt/Tindrel.app"},
        {"/home/u/.local/opt/Tindrel.app/bin/", "/home/u/.local/opt/Tindrel.app"},
        {"/home/u/src/build/Tindrel/shell", std::nullopt},
        {"/opt/Tindrel.APP/bin", std::nullopt},
        {"/opt/.app/bin", std::nullopt},
        {"/opt/Tindrel.app/libexec", std::nullopt},
    };
    for (const auto& item : cases)
        EXPECT_EQ(VelmoUpdateEnvironment::bundleAbove(item.executableFolder), item.bundle)
            << item.executableFolder;
}
