// The termination signals reach the event loop as calls, one per signal, and the handlers that
// were there before come back when the watcher goes.

#include "platform/TerminationSignals.h"

#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

namespace tindrel {
namespace {

void Ignore(int) {}

TEST(TerminationSignals, EachSignalBecomesOneCallInTheEventLoopAndTheOldHandlersComeBack) {
  struct sigaction before {};
  before.sa_handler = Ignore;
  sigemptyset(&before.sa_mask);
  for (int signal : TerminationSignals::Watched()) ASSERT_EQ(sigaction(signal, &before, nullptr), 0);
  {
    std::vector<int> calls;
    TerminationSignals watcher([&](int signal) { calls.push_back(signal); });
    ASSERT_TRUE(watcher.Installed());
    for (int signal : TerminationSignals::Watched()) ASSERT_EQ(std::raise(signal), 0);
    EXPECT_TRUE(calls.empty()) << "the call waits for the event loop";
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls.size() == TerminationSignals::Watched().size(); }, 5000));
    EXPECT_EQ(calls, TerminationSignals::Watched());
  }
  for (int signal : TerminationSignals::Watched()) {
    struct sigaction now {};
    ASSERT_EQ(sigaction(signal, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, &Ignore) << signal;
  }
  for (int signal : TerminationSignals::Watched()) std::signal(signal, SIG_DFL);
}

}  // namespace
}  // namespace tindrel
