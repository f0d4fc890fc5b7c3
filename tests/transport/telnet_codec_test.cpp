// The telnet framing and the port control of a serial device server, fed as a server sends:
// in reads that split commands anywhere.

#include "transport/telnet_codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "transport/com_port_client.h"

namespace velmar::transport {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace telnet;
constexpr uint8_t kEcho = 1;
constexpr uint8_t kTerminalType = 24;

TEST(TelnetCodecTest, TakesCommandsOutWhereverAReadSplitsThem) {
  using ComPort = Codec::ComPort;
  const struct {
    const char* name;
    std::vector<Bytes> reads;
    Bytes data;
    Bytes replies;
    std::vector<SubNegotiation> subs;
    ComPort com_port;
  } cases[] = {
      // clang-format off
      {"doubled 0xFF split between reads", {{1, kIac}, {kIac, 2}}, {1, kIac, 2}, {}, {},
       ComPort::kAsked},
      {"IAC at the very end of a read", {{'A', kIac}, {kWill, kEcho, 'B'}}, {'A', 'B'},
       {kIac, kDont, kEcho}, {}, ComPort::kAsked},
      {"verb and option in separate reads", {{kIac, kDo}, {kTerminalType}}, {},
       {kIac, kWont, kTerminalType}, {}, ComPort::kAsked},
      {"sub-negotiation in three reads, 0xFF escaped inside",
       {{kIac, kSb, kComPortOption, 101, 0}, {0, kIac, kIac, 0x80, kIac}, {kSe, 'x'}},
       {'x'}, {}, {{kComPortOption, {101, 0, 0, kIac, 0x80}}}, ComPort::kAsked},
      // What was asked for is only acknowledged; what is off is never answered again.
      {"the server agrees to everything asked",
       {{kIac, kDo, kBinary, kIac, kWill, kBinary, kIac, kDo, kSuppressGoAhead, kIac, kWill,
         kSuppressGoAhead, kIac, kDo, kSuppressGoAhead, kIac, kDo, kComPortOption}},
       {}, {}, {}, ComPort::kAgreed},
      {"refusals of what is off go unanswered",
       {{kIac, kDont, kTerminalType, kIac, kWont, kEcho}}, {}, {}, {}, ComPort::kAsked},
      {"the server will not have the com port option", {{kIac, kDont, kComPortOption}}, {}, {},
       {}, ComPort::kRefused},
      {"agreed, then withdrawn: acknowledged once",
       {{kIac, kDo, kComPortOption, kIac, kDont, kComPortOption, kIac, kDont, kComPortOption}},
       {}, {kIac, kWont, kComPortOption}, {}, ComPort::kRefused},
      {"a server offering its own com port is refused", {{kIac, kWill, kComPortOption}}, {},
       {kIac, kDont, kComPortOption}, {}, ComPort::kAsked},
      {"NOP and GA mean nothing", {{kIac, 241, 'a', kIac, 249, 'b'}}, {'a', 'b'}, {}, {},
       ComPort::kAsked},
      // clang-format on
  };
  for (const auto& c : cases) {
    Codec codec;
    Bytes data;
    Bytes replies;
    for (const Bytes& read : c.reads) {
      codec.Take(read.data(), static_cast<int32_t>(read.size()), &data, &replies);
    }
    EXPECT_EQ(data, c.data) << c.name;
    EXPECT_EQ(replies, c.replies) << c.name;
    EXPECT_EQ(codec.TakeSubNegotiations(), c.subs) << c.name;
    EXPECT_EQ(codec.ComPortState(), c.com_port) << c.name;
  }
  Bytes escaped;
  const Bytes sent = {0, kIac, kIac, 7};
  Codec::Escape(sent.data(), 4, &escaped);
  EXPECT_EQ(escaped, (Bytes{0, kIac, kIac, kIac, kIac, 7}));
}

// One sub-negotiation of the com port option, as the server sends it.
Bytes Answer(Bytes payload) {
  Bytes out;
  Codec::AppendSubNegotiation(kComPortOption, payload, &out);
  return out;
}

Bytes Join(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& part : parts) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

TEST(ComPortClientTest, SetsTheLineAndChecksTheServersAnswers) {
  using Stage = ComPortClient::Stage;
  // Debian's ser2net on a pseudo-terminal, as it answered a client at 9600 baud: the purge
  // first, and no answer to DTR and RTS.
  const Bytes agreed = {kIac, kWill, kSuppressGoAhead,
                        kIac, kDo,   kSuppressGoAhead,
                        kIac, kWill, kEcho,
                        kIac, kDont, kEcho,
                        kIac, kDo,   kBinary,
                        kIac, kWill, kBinary,
                        kIac, kDo,   kComPortOption};
  const Bytes rate_9600 = Answer({101, 0, 0, 0x25, 0x80});
  const Bytes purged = Answer({112, 3});
  const Bytes framing = Join({Answer({102, 8}), Answer({103, 1}), Answer({104, 1})});
  const Bytes modem_state = Answer({107, 0});
  const struct {
    const char* name;
    Bytes server;
    Stage stage;
    std::string reason;
    Bytes data;
  } cases[] = {
      // clang-format off
      {"ser2net", Join({agreed, purged, rate_9600, framing, Answer({105, 1})}), Stage::kReady, "",
       {}},
      {"the printer's bytes once ready, the server's notices taken out",
       Join({agreed, rate_9600, purged, framing, {0x10, kIac, kIac}, modem_state, {0x20}}),
       Stage::kReady, "", {0x10, kIac, 0x20}},
      {"a plain telnet server, with its words",
       {'n', 'o', '\n', kIac, kWill, kEcho, kIac, kDont, kComPortOption}, Stage::kRefused,
       "the server does not offer RFC 2217 COM-PORT-OPTION", {'n', 'o', '\n'}},
      {"another rate", Join({agreed, Answer({101, 0, 1, 0xC2, 0}), purged, framing}),
       Stage::kRefused, "the server set 115200 baud, not 9600", {}},
      {"seven data bits", Join({agreed, rate_9600, purged, Answer({102, 7})}), Stage::kRefused,
       "the server set data bits 7, not 8", {}},
      {"silent on COM-PORT-OPTION", {kIac, kWill, kEcho}, Stage::kNegotiating,
       "the server did not agree to RFC 2217 COM-PORT-OPTION in time", {}},
      {"no purge answer", Join({agreed, rate_9600, framing}), Stage::kSettling,
       "the server did not confirm the line settings in time", {}},
      // clang-format on
  };
  for (const auto& c : cases) {
    ComPortClient client(9600);
    Bytes data;
    Bytes to_send;
    // A byte a read: every split a server's writes may make.
    for (const uint8_t byte : c.server) {
      client.Take(&byte, 1, &data, &to_send);
    }
    EXPECT_EQ(client.CurrentStage(), c.stage) << c.name;
    EXPECT_EQ(client.Reason(), c.reason) << c.name;
    EXPECT_EQ(data, c.data) << c.name;
  }
  // What the server is asked: the options, then, once it agreed, the line as a serial port's.
  EXPECT_EQ(ComPortClient::Greeting(),
            (Bytes{kIac, kWill, kBinary, kIac, kDo, kBinary, kIac, kWill, kSuppressGoAhead, kIac,
                   kDo, kSuppressGoAhead, kIac, kWill, kComPortOption}));
  ComPortClient client(9600);
  Bytes data;
  Bytes to_send;
  client.Take(agreed.data(), static_cast<int32_t>(agreed.size()), &data, &to_send);
  EXPECT_EQ(to_send, Join({{kIac, kDont, kEcho},
                           Answer({1, 0, 0, 0x25, 0x80}),
                           Answer({2, 8}),
                           Answer({3, 1}),
                           Answer({4, 1}),
                           Answer({5, 1}),
                           Answer({5, 8}),
                           Answer({5, 11}),
                           Answer({12, 3})}));
}

}  // namespace
}  // namespace velmar::transport
