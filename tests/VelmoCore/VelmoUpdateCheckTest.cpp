#include "Tindrel/VelmoCore/VelmoUpdateStore.h"
#include "Tindrel/VelmoCore/VelmoVersionsManifest.h"
#include "tests/VelmoCore/LocalReleaseServer.h"
#include "tests/VelmoCore/UpdateTestEnvironment.h"

#include <gtest/gtest.h>

#include <functional>

#include <memory>

using namespace velmo;
using velmo::test::LocalReleaseServer;
using velmo::test::RecordedEffects;

namespace {

const QString first = QStringLiteral("/releases/versions.json");
const QString second = QStringLiteral("/api/releases/versions");

QByteArray manifestWith(const QString& version) {
    VelmoVersionsManifest manifest;
    manifest.products[QStringLiteral("tindrel")] = {version, QStringLiteral("Sharper meters"),
                                                    QStringLiteral("https://h/tindrel.zip"),
                                                    std::nullopt};
    return manifest.encode();
}

class UpdateCheck : public testing::Test {
protected:
    std::unique_ptr<VelmoUpdateStore> makeStore(const VelmoUpdateEnvironment& environment) {
        // The automatic first check finds nothing and is done before the test's own.
        server.forget(first);
        server.forget(second);
        auto store =
            std::make_unique<VelmoUpdateStore>(QStringLiteral("tindrel"), QStringLiteral("Tindrel"),
                                               QStringLiteral("1.0.0"), environment);
        EXPECT_TRUE(test::waitFor(*store, &VelmoUpdateStore::checkFinished));
        return store;
    }
    VelmoUpdateEnvironment trusting() {
        VelmoUpdateEnvironment environment = test::testEnvironment(server.origin(), effects);
        environment.extraCaCertificates = server.caCertificates();
        return environment;
    }
    void check(VelmoUpdateStore& store, bool silent) {
        const qsizetype before = server.requestedPaths().size();
        store.checkForUpdates(silent);
        ASSERT_TRUE(test::waitFor(store, &VelmoUpdateStore::checkFinished));
        asked = server.requestedPaths().mid(before);
    }

    LocalReleaseServer server;
    RecordedEffects effects;
    QStringList asked;
};

TEST_F(UpdateCheck, TriesTheEndpointsInOrderUntilOneGivesARecord) {
    struct Case {
        const char* what;
        int firstStatus;
        QByteArray firstBody;
        int secondStatus;
        QByteArray secondBody;
        bool silent;
        QString status;
        bool outOfDate;
        int requests;
    };
    const QString outOfDate = QStringLiteral("Out of date: v1.1.0 available (you have v1.0.0)");
    const QString couldNot = QStringLiteral("Could not check for updates (v1.0.0)");
    const Case cases[]{
        {"404 then a newer record",
         404,
         {},
         200,
         manifestWith("v1.1.0 "),
         false,
         outOfDate,
         true,
         2},
        {"bad manifest then a newer record", 200, "{\"products\": []}", 200, manifestWith("1.1.0"),
         true, outOfDate, true, 2},
        {"no record for the product then one", 200, "{\"products\": {}}", 200,
         manifestWith("1.1.0"), false, outOfDate, true, 2},
        {"an older record ends the check", 200, manifestWith("0.9"), 200, manifestWith("1.1.0"),
         true, QStringLiteral("Up to date (v1.0.0)"), false, 1},
        {"nothing usable, with messages", 500, {}, 404, {}, false, couldNot, false, 2},
        {"nothing usable, silent", 500, {}, 404, {}, true, QString(), false, 2},
    };
    for (const Case& item : cases) {
        effects = {};
        auto store = makeStore(trusting());
        server.serve(first, item.firstStatus, item.firstBody);
        server.serve(second, item.secondStatus, item.secondBody);
        check(*store, item.silent);
        EXPECT_EQ(store->updateStatusText(), item.status) << item.what;
        EXPECT_EQ(store->isOutOfDate(), item.outOfDate) << item.what;
        EXPECT_EQ(store->availableVersion(),
                  item.outOfDate ? std::optional(QStringLiteral("1.1.0")) : std::nullopt)
            << item.what;
        EXPECT_EQ(asked.size(), item.requests) << item.what;
        EXPECT_FALSE(store->checkingForUpdates()) << item.what;
    }
}

TEST_F(UpdateCheck, ShowsTheStartMessageAndCountsOverlappingChecks) {
    auto store = makeStore(trusting());
    server.serve(first, 200, manifestWith("1.1.0"));
    QList<bool> checkingAtEachEnd;
    QObject::connect(store.get(), &VelmoUpdateStore::checkFinished,
                     [&] { checkingAtEachEnd << store->checkingForUpdates(); });
    store->checkForUpdates(false);
    EXPECT_EQ(store->updateStatusText(), QStringLiteral("Checking for Tindrel updates..."));
    store->checkForUpdates(true);
    QSignalSpy ends(store.get(), &VelmoUpdateStore::checkFinished);
    while (ends.size() < 2)
        ASSERT_TRUE(ends.wait(20000));
    EXPECT_EQ(checkingAtEachEnd, (QList<bool>{true, false}));
}

TEST_F(UpdateCheck, GivesUpOnAnEndpointThatStallsOrSendsTooMuch) {
    // A manifest whose notes bring it to about `bytes`.
    const auto manifestOfSize = [](const QString& version, qsizetype bytes) {
        VelmoVersionsManifest manifest;
        manifest.products[QStringLiteral("tindrel")] = {version, QString(bytes - 200, u'n'),
                                                        QStringLiteral("https://h/tindrel.zip"),
                                                        std::nullopt};
        return manifest.encode();
    };
    const qsizetype mebibyte = 1 << 20;
    // Rows that a byte bound must end get a deadline longer than the test waits for a check.
    const auto bytesOnly = std::chrono::milliseconds(60000);
    const auto deadline = std::chrono::milliseconds(1500);
    const struct {
        const char* what;
        std::function<void()> serveFirst;
        std::chrono::milliseconds manifestTime;
        QString applied;
    } cases[]{
        {"a manifest just within the bound",
         [&] { server.serve(first, 200, manifestOfSize("9.0", mebibyte - 1000)); }, bytesOnly,
         "9.0"},
        {"a manifest past the bound",
         [&] { server.serve(first, 200, manifestOfSize("9.0", mebibyte + 1000), false); },
         bytesOnly, "1.1.0"},
        {"a length past the bound, announced before a stall",
         [&] { server.stream(first, -1, 2 * mebibyte, 1, 60000); }, bytesOnly, "1.1.0"},
        {"an answer without end", [&] { server.stream(first, -1, -1); }, bytesOnly, "1.1.0"},
        {"a byte at a time without end", [&] { server.stream(first, -1, -1, 1, 100); }, deadline,
         "1.1.0"},
        {"no answer at all", [&] { server.hang(first); }, deadline, "1.1.0"},
    };
    for (const auto& item : cases) {
        VelmoUpdateEnvironment environment = trusting();
        environment.limits.manifestTime = item.manifestTime;
        auto store = makeStore(environment);
        item.serveFirst();
        server.serve(second, 200, manifestWith("1.1.0"));
        check(*store, false);
        EXPECT_EQ(store->availableVersion(), item.applied) << item.what;
        EXPECT_EQ(asked.size(), item.applied == "9.0" ? 1 : 2) << item.what;
    }
}

TEST_F(UpdateCheck, RefusesUntrustedCertificatesAndInsecureRedirects) {
    VelmoUpdateEnvironment untrusting = test::testEnvironment(server.origin(), effects);
    auto store = makeStore(untrusting);
    server.serve(first, 200, manifestWith("1.1.0"));
    check(*store, false);
    EXPECT_FALSE(store->isOutOfDate());
    EXPECT_EQ(store->updateStatusText(), QStringLiteral("Could not check for updates (v1.0.0)"));

    LocalReleaseServer plain(LocalReleaseServer::Scheme::http);
    plain.serve(first, 200, manifestWith("1.1.0"));
    store = makeStore(trusting());
    server.redirect(first, plain.origin() + first);
    check(*store, false);
    EXPECT_FALSE(store->isOutOfDate());
    EXPECT_TRUE(plain.requestedPaths().isEmpty());
}

TEST(UpdateCheckOverHttp, PlainHttpIsRequestedOnlyWhenATestAllowsIt) {
    LocalReleaseServer server(LocalReleaseServer::Scheme::http);
    server.serve(first, 200, manifestWith("1.1.0"));
    for (const bool allowed : {false, true}) {
        RecordedEffects effects;
        VelmoUpdateEnvironment environment = test::testEnvironment(server.origin(), effects);
        environment.allowLoopbackHttp = allowed;
        VelmoUpdateStore store(QStringLiteral("tindrel"), QStringLiteral("Tindrel"),
                               QStringLiteral("1.0.0"), environment);
        ASSERT_TRUE(test::waitFor(store, &VelmoUpdateStore::checkFinished));
        EXPECT_EQ(store.isOutOfDate(), allowed);
        EXPECT_EQ(server.requestedPaths().isEmpty(), !allowed);
    }
}

} // namespace
