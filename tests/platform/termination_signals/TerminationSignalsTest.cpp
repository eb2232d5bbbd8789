#include "Tindrel/platform/desktop/termination_signals/TerminationSignals.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <signal.h>

using tindrel::platform::TerminationSignals;

namespace {

bool hasDefaultDisposition(int signalNumber) {
    struct sigaction current {};
    sigaction(signalNumber, nullptr, &current);
    return current.sa_handler == SIG_DFL;
}

} // namespace

TEST(TerminationSignals, EachSignalArrivesOnTheEventLoopAndTheDefaultsComeBackAfter) {
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        {
            TerminationSignals termination;
            ASSERT_TRUE(termination.isActive());
            QSignalSpy requested(&termination, &TerminationSignals::requested);
            // Twice in a row, as a second Ctrl+C would: both arrive, the process lives on.
            ASSERT_EQ(raise(signalNumber), 0);
            ASSERT_EQ(raise(signalNumber), 0);
            while (requested.size() < 2 && requested.wait(5000)) {
            }
            ASSERT_EQ(requested.size(), 2) << signalNumber;
            EXPECT_EQ(requested.at(0).at(0).toInt(), signalNumber);
            EXPECT_EQ(requested.at(1).at(0).toInt(), signalNumber);
        }
        EXPECT_TRUE(hasDefaultDisposition(signalNumber)) << signalNumber;
    }
}
