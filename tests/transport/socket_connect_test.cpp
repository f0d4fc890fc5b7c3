// A connect that the system neither completes nor refuses: POSIX only, where a listener whose
// accept queue is full drops further handshakes (Windows refuses them at once).

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "tests/transport/socket_test_support.h"
#include "transport/socket_transport.h"

namespace velmar::transport {
namespace {

using namespace socket_testing;

// A file descriptor closed with its scope.
class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) {
      ::close(m_fd);
    }
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return m_fd; }

 private:
  int m_fd;
};

// A listener whose accept queue is full: the system drops further handshakes, so a connect
// neither completes nor fails until its retries run out, minutes later.
TEST_F(SocketTransportTest, AConnectThatCannotCompleteFailsInTimeWithoutDispatching) {
  BoxRecorder boxes;
  const Fd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener.Get(), 0), 0);  // room for one connection
  socklen_t length = sizeof address;
  ASSERT_EQ(::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
  // The first filler's handshake completes and fills the queue; the second covers the first's
  // last step still being in flight when the transport's handshake arrives.
  const Fd first(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  const Fd second(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  ::connect(first.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  pollfd pfd{first.Get(), POLLOUT, 0};
  ASSERT_EQ(::poll(&pfd, 1, static_cast<int>(std::chrono::milliseconds(kDeadline).count())), 1);
  ::connect(second.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);

  SocketTransport transport(&m_sink, "127.0.0.1", ntohs(address.sin_port));
  CountingWindow window(m_queue);
  BlockedCall connect;
  {
    // Once the listener is gone the next retried handshake is refused.
    Unsticker refuse(kPatience, [fd = listener.Get()](const platform::ManualResetEvent&) {
      ::shutdown(fd, SHUT_RDWR);
    });
    connect = RunBlocked(window, [&] { return transport.OpenConnection(); });
  }
  EXPECT_FALSE(connect.result);
  EXPECT_FALSE(transport.IsOpen());
  EXPECT_GE(connect.elapsed, 4s);
  EXPECT_LT(connect.elapsed, 9s);
  EXPECT_EQ(connect.dispatched_during, 0);
  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_TRUE(m_queue.RunUntil([&] { return window.handled == 1; }, kDeadline));
}

}  // namespace
}  // namespace velmar::transport
