// A connect's name resolution: bounded with the connects, and a name that does not resolve
// comes with the system's words for why.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/manual_reset_event.h"
#include "tests/transport/socket_test_support.h"

namespace velmar::transport {
namespace {

using namespace socket_testing;

TEST_F(SocketTransportTest, ANameResolvedTooLateOrNotAtAllFailsInTimeSayingWhy) {
  const auto released = std::make_shared<platform::ManualResetEvent>();  // once the test is over
  for (const bool silent : {true, false}) {
    LinkSocket socket(nullptr);
    ASSERT_TRUE(socket.Create());
    if (silent) {  // a resolver waiting for a name server that never answers
      socket.SetResolver([released](const std::string&, const std::string&) {
        released->Wait();
        return platform::NameResolution{};
      });
    }
    CountingWindow window(m_queue);
    const BlockedCall connect =
        RunBlocked(window, [&] { return socket.Connect("no-such-host.invalid", 9); });
    EXPECT_FALSE(connect.result);
    EXPECT_EQ(connect.dispatched_during, 0);
    EXPECT_LT(connect.elapsed, 9s);
    EXPECT_GE(connect.elapsed, silent ? 4s : 0s);
    // The time-out's number (Wine has no words for it); else no number, but the system's words.
    EXPECT_EQ(socket.ConnectError() != 0, silent);
    EXPECT_TRUE(silent || !socket.ConnectErrorText().empty());
  }
  released->Set();
}

}  // namespace
}  // namespace velmar::transport
