// The boot protocol driven on one thread: a scripted transport, a recording window.

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "datafile/load_window.h"
#include "engine/crc16.h"
#include "engine/downloader.h"
#include "engine/load_notification.h"
#include "platform/progress_messages.h"

namespace velmar::engine {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using platform::MessageId;

class ScriptedTransport : public transport::Transport {
 public:
  bool IsOpen() const override { return true; }
  bool OpenConnection() override { return true; }
  bool CloseConnection() override { return true; }
  bool Write(const uint8_t* data, int32_t length) override {
    std::lock_guard lock(m_mutex);
    written.emplace_back(data, data + length);
    return true;
  }
  int32_t Read(uint8_t* buffer, int32_t capacity) override {
    std::lock_guard lock(m_mutex);
    int32_t count = 0;
    while (count < capacity && !incoming.empty()) {
      buffer[count++] = incoming.front();
      incoming.pop_front();
    }
    return count;
  }
  void Queue(const Bytes& bytes) {
    std::lock_guard lock(m_mutex);
    incoming.insert(incoming.end(), bytes.begin(), bytes.end());
  }
  std::vector<Bytes> written;
  std::deque<uint8_t> incoming;

 private:
  std::mutex m_mutex;
};

class RecordingWindow : public datafile::LoadWindow {
 public:
  explicit RecordingWindow(platform::MessageQueue& queue) : LoadWindow(queue), progress(queue) {}
  platform::LResult HandleMessage(MessageId message, platform::WParam, platform::LParam) override {
    notifications.push_back(message);
    return 0;
  }
  struct Progress : platform::Window {
    using Window::Window;
    platform::LResult HandleMessage(MessageId m, platform::WParam, platform::LParam) override {
      steps += m == platform::PBM_STEPIT;
      return 0;
    }
    int steps = 0;
  } progress;
  std::vector<MessageId> notifications;

 protected:
  platform::Window* ProgressWindow() override { return &progress; }
};

Bytes Header(uint32_t address, const Bytes& data, uint8_t extra = 0) {
  const uint16_t crc = Crc16(data.data(), static_cast<int32_t>(data.size()));
  return {static_cast<uint8_t>(address),          static_cast<uint8_t>(address >> 8),
          static_cast<uint8_t>(address >> 16),    static_cast<uint8_t>(data.size()),
          static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(crc),
          static_cast<uint8_t>(crc >> 8),         extra};
}

class ProtocolTest : public ::testing::Test {
 protected:
  void LoadProgram(const std::string& model,
                   const std::vector<std::pair<uint32_t, Bytes>>& blocks) {
    m_window.m_file_kind = "MyBIN";
    m_window.m_model_name = model;
    for (const auto& [address, data] : blocks) {
      const Bytes header = Header(address, data);
      m_window.m_data.Append(header.data(), 8);
      m_window.m_data.Append(data.data(), static_cast<int32_t>(data.size()));
    }
  }
  void LoadFont(const Bytes& data) {
    m_window.m_file_kind = "MyFNT";
    m_window.m_data.Append(data.data(), static_cast<int32_t>(data.size()));
  }
  void Start(bool font = false) {
    m_run = std::make_unique<Downloader>(&m_window, [this](transport::ReceiveSink*) {
      auto transport = std::make_unique<ScriptedTransport>();
      m_transport = transport.get();
      return transport;
    });
    font ? m_run->StartFontLoad() : m_run->StartProgramLoad();
    m_queue.DispatchPending();
  }
  // The printer's batch, delivered and judged.
  void Reply(const Bytes& bytes) {
    m_transport->Queue(bytes);
    m_run->OnDataReceived();
    m_queue.DispatchPending();
  }
  Bytes LastWritten() const {
    return m_transport->written.empty() ? Bytes{} : m_transport->written.back();
  }
  size_t Writes() const { return m_transport->written.size(); }

  platform::MessageQueue m_queue;
  RecordingWindow m_window{m_queue};
  ScriptedTransport* m_transport = nullptr;
  std::unique_ptr<Downloader> m_run;
};

TEST(Crc16Test, KnownValues) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(check.data()), 9), 0xBB3D);
  EXPECT_EQ(Crc16(nullptr, 0), 0);
  const Bytes data{1, 2, 3, 4};
  EXPECT_EQ(Crc16(data.data(), 4), 0x0FA1);
}

TEST_F(ProtocolTest, TheExampleExchangeByteForByte) {
  LoadProgram("TEST", {{0x2000, {1, 2, 3, 4}}});
  Start();
  EXPECT_EQ(m_window.progress.steps, 1);  // first block taken before anything is received
  const std::vector<std::pair<Bytes, Bytes>> exchange = {
      {{}, {0x1B, 0x42, 0x4F, 0x4F, 0x54}},
      {{0xA0}, {0x0A}},
      {{0x54, 0x45, 0x53, 0x54, 0x00, 0x1E, 0x53, 0x4D, 0x00, 0x01},
       {0x1E, 0x72, 0x53, 0x01, 0x01}},
      {{0x1E, 0x43, 0x41, 0x00, 0x01}, {0x1E, 0x61, 0x00, 0x20, 0x00}},
      {{0x1E, 0x41, 0x00, 0x20, 0x01}, {0x1E, 0x64, 0x04, 0x00, 0x01}},
      {{0x1E, 0x44, 0x04, 0x00, 0x01}, {0x1E, 0x65, 0xA1, 0x0F, 0x00, 0x01, 0x02, 0x03, 0x04}},
      {{0x1E, 0x65, 0xA1, 0x0F, 0x00, 0x01, 0x02, 0x03, 0x04}, {0x1E, 0x77, 0x6F, 0x6B, 0x83}},
  };
  for (const auto& [reply, command] : exchange) {
    if (!reply.empty()) {
      Reply(reply);
    }
    EXPECT_EQ(LastWritten(), command);
  }
  EXPECT_EQ(Writes(), exchange.size());
  EXPECT_EQ(m_window.notifications, (std::vector<MessageId>{LN_STATUS, LN_DONE}));
  EXPECT_FALSE(m_run->IsBusy());
  Reply({0x1E, 0x53, 0x4D, 0, 1});  // nothing awaited now: ignored
  EXPECT_EQ(Writes(), exchange.size());
  EXPECT_EQ(m_window.notifications.size(), 2u);
}

// The good replies for a one-block program of model "TEST" at 0x2000, in order.
std::vector<Bytes> GoodReplies() {
  return {{0xA0},
          {'T', 'E', 'S', 'T', 0, 0x1E, 'S', 'M', 0x00, 0x01},
          {0x1E, 'C', 'A', 0, 0x01},
          {0x1E, 'A', 0x00, 0x20, 0x01},
          {0x1E, 'D', 0x04, 0x00, 0x01},
          {0x1E, 0x65, 0xA1, 0x0F, 0x00, 1, 2, 3, 4}};
}

struct FaultCase {
  const char* name;
  size_t reply;  // index into GoodReplies
  std::function<void(Bytes&)> spoil;
  MessageId expected;
  bool status_first = false;  // LN_STATUS comes before the failure
};

TEST_F(ProtocolTest, EveryFailureHasItsNotification) {
  const std::vector<FaultCase> cases = {
      {"wake 0x55", 0, [](Bytes& b) { b = {0x55}; }, LN_MODEL_UNSUPPORTED},
      {"other case", 1, [](Bytes& b) { b[0] = 't'; }, LN_MODEL_MISMATCH},
      {"ident status 0x10", 1, [](Bytes& b) { b.back() = 0x10; }, LN_BAD_PACKET, true},
      {"ident status 0x40", 1, [](Bytes& b) { b.back() = 0x40; }, LN_BAD_PACKET, true},
      {"ident result 0x80", 1, [](Bytes& b) { b[8] = 0x80; }, LN_INTEGRITY_ERROR, true},
      {"ident closing frame", 1, [](Bytes& b) { b[6] = 'X'; }, LN_BAD_COMMAND, true},
      {"CA status", 2, [](Bytes& b) { b.back() = 0x40; }, LN_BAD_PACKET, true},
      {"CA letter", 2, [](Bytes& b) { b[2] = 'B'; }, LN_BAD_COMMAND, true},
      {"CA marker", 2, [](Bytes& b) { b[0] = 0x1F; }, LN_BAD_COMMAND, true},
      {"A status", 3, [](Bytes& b) { b.back() = 0x11; }, LN_BAD_PACKET, true},
      {"A address", 3, [](Bytes& b) { b[2] = 0x01; }, LN_BAD_ADDRESS, true},
      {"A letter and address", 3,
       [](Bytes& b) {
         b[1] = 'B';
         b[3] = 0;
       },
       LN_BAD_ADDRESS, true},
      {"A letter", 3, [](Bytes& b) { b[1] = 'B'; }, LN_BAD_COMMAND, true},
      {"D status", 4, [](Bytes& b) { b.back() = 0x50; }, LN_BAD_PACKET, true},
      {"D size", 4, [](Bytes& b) { b[2] = 5; }, LN_BAD_SIZE, true},
      {"D letter", 4, [](Bytes& b) { b[1] = 'd'; }, LN_BAD_COMMAND, true},
      {"echo result 0x80", 4 + 1, [](Bytes& b) { b[4] = 0x80; }, LN_INTEGRITY_ERROR, true},
      {"echo result 0x40", 5, [](Bytes& b) { b[4] = 0x40; }, LN_INTEGRITY_ERROR, true},
      {"echo crc", 5, [](Bytes& b) { b[2] ^= 1; }, LN_PACKET_INTEGRITY_ERROR, true},
      {"echo data", 5, [](Bytes& b) { b.back() ^= 1; }, LN_BAD_DATA, true},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    m_run.reset();
    m_window.notifications.clear();
    m_window.m_data.RemoveAll();
    LoadProgram("TEST", {{0x2000, {1, 2, 3, 4}}});
    Start();
    auto replies = GoodReplies();
    for (size_t i = 0; i < c.reply; ++i) {
      Reply(replies[i]);
    }
    c.spoil(replies[c.reply]);
    const size_t writes = Writes();
    Reply(replies[c.reply]);
    std::vector<MessageId> expected;
    if (c.status_first) {
      expected.push_back(LN_STATUS);
    }
    expected.push_back(c.expected);
    EXPECT_EQ(m_window.notifications, expected);
    EXPECT_EQ(Writes(), writes);  // nothing more goes out
    for (int i = 0; i < 3; ++i) {
      Reply({0x1E, 'S', 'M', 0x80, 0x10, 0xA0});  // babble: no second outcome
    }
    EXPECT_EQ(m_window.notifications, expected);
  }
}

TEST_F(ProtocolTest, PassingStatusAndResultValues) {
  LoadProgram("TEST", {{0x2000, {1, 2, 3, 4}}, {0x2004, {5}}});
  Start();
  Reply({0xA1});
  EXPECT_EQ(LastWritten(), (Bytes{0x1A}));
  Reply({'T', 'E', 'S', 'T', 0, 0x1E, 'S', 'M', 0x3F, 0x20});
  Reply({0x1E, 'C', 'A', 0x7F, 0x8F});
  EXPECT_EQ(LastWritten(), (Bytes{0x1E, 'a', 0x00, 0x20, 0x8E}));  // bit 0 cleared
  Reply({0x1E, 'A', 0x00, 0x20, 0x21});
  Reply({0x1E, 'D', 0x04, 0x00, 0x23});
  Reply({0x00, 0x00, 0xA1, 0x0F, 0x3F, 1, 2, 3, 4});  // bytes 0 and 1 are not examined
  EXPECT_EQ(LastWritten(), (Bytes{0x1E, 'w', 'o', 'k', 0x23}));
  Reply({0x1E, 'S', 'M', 0x00, 0x01});
  EXPECT_EQ(LastWritten(), (Bytes{0x1E, 'r', 'S', 0x01, 0x01}));
  EXPECT_EQ(m_window.notifications, std::vector<MessageId>{LN_STATUS});
  EXPECT_EQ(m_window.progress.steps, 2);
}

TEST_F(ProtocolTest, SplitAndSurplusBatches) {
  LoadProgram("TEST", {{0x012000, {1, 2, 3, 4}}});
  Start();
  Reply({0xA0, 0xA0});  // no wake-up reply: discarded, still waiting
  EXPECT_EQ(Writes(), 1u);
  EXPECT_TRUE(m_window.notifications.empty());
  Reply({0xA0});
  Reply({0x54, 0x45});
  Reply({0x53, 0x54, 0x00, 0x1E, 0x53});
  EXPECT_EQ(Writes(), 2u);  // judged only once complete
  Reply({0x4D, 0x00, 0x01});
  EXPECT_EQ(m_window.notifications, std::vector<MessageId>{LN_STATUS});
  Reply({0x1E, 'C', 'A', 0x7F, 0x01});
  EXPECT_EQ(LastWritten(), (Bytes{0x1E, 'a', 0x00, 0x20, 0x01}));  // address byte 2 is 1
  for (uint8_t b : Bytes{0x1E, 'A', 0x00, 0x20, 0x01}) {
    Reply({b});
  }
  Reply({0x1E, 'D', 0x04, 0x00, 0x01, 0x77, 0x05});  // judged by its first four bytes
  EXPECT_EQ(LastWritten(), (Bytes{0x1E, 'e', 0xA1, 0x0F, 0x00, 1, 2, 3, 4}));
  Reply({0x1E, 0x65, 0xA1, 0x0F, 0x00, 1, 2, 3, 4});
  EXPECT_EQ(LastWritten(), (Bytes{0x1E, 'w', 'o', 'k', 0x05 | 0x82}));  // status: the last of 7
  EXPECT_EQ(m_window.notifications, (std::vector<MessageId>{LN_STATUS, LN_DONE}));
}

TEST_F(ProtocolTest, IdentificationLimits) {
  LoadProgram("TEST", {{0, {1}}});
  Start();
  Reply({0xA0});
  Reply({'T', 'E', 'S', 'T', 0, 0x1E, 'S', 'M', 0x00});  // four after the zero: waits
  EXPECT_TRUE(m_window.notifications.empty());
  Reply({0x01, 0x02});  // six after it: left unjudged
  EXPECT_TRUE(m_window.notifications.empty());
  Reply(Bytes(300, 'x'));  // past any valid reply: refused
  EXPECT_EQ(m_window.notifications, std::vector<MessageId>{LN_BAD_COMMAND});
}

TEST_F(ProtocolTest, FontAddressRules) {
  Bytes font(600);
  for (size_t i = 0; i < font.size(); ++i) {
    font[i] = static_cast<uint8_t>(i * 13);
  }
  LoadFont(font);
  Start(true);
  EXPECT_EQ(LastWritten(), (Bytes{0x1B, 'B', 'O', 'O', 'T'}));
  Reply({0xA0});
  Reply({'F', '1', 0, 0x1E, 'S', 'M', 0x00, 0x01});
  EXPECT_EQ(m_window.m_model_name, "F1");
  EXPECT_EQ(LastWritten(), (Bytes{0x1E, 'r', 'S', 0x01, 0x05}));  // bit 2 set for a font
  Reply({0x1E, 'C', 'A', 0, 0x05});
  EXPECT_EQ(LastWritten(), (Bytes{0x1E, 'a', 0x00, 0x00, 0x04}));  // all zero, bit 0 cleared
  Reply({0x1E, 'A', 0x34, 0x12, 0x05});                            // start address 0x11234
  const uint16_t crc1 = Crc16(font.data(), 204);
  EXPECT_EQ(LastWritten(), (Bytes{0x1E, 'd', 0xCC, 0x00, 0x05}));
  Reply({0x1E, 'D', 0xCC, 0x00, 0x05});
  Bytes e1{0x1E, 'e', static_cast<uint8_t>(crc1), static_cast<uint8_t>(crc1 >> 8), 0};
  e1.insert(e1.end(), font.begin(), font.begin() + 204);
  EXPECT_EQ(LastWritten(), e1);
  Bytes echo1 = e1;
  echo1[4] = 0;
  Reply(echo1);
  EXPECT_EQ(m_window.notifications, (std::vector<MessageId>{LN_STATUS, LN_STEP}));
  Reply({0x1E, 'S', 'M', 0, 0x05});
  Reply({0x1E, 'C', 'A', 0, 0x05});
  EXPECT_EQ(LastWritten(), (Bytes{0x1E, 'a', 0x00, 0x13, 0x05}));  // bit 0 kept: byte 2 is 1
  Reply({0x1E, 'A', 0x00, 0x12, 0x05});  // a wrong echo of the announced address
  EXPECT_EQ(m_window.notifications.back(), LN_BAD_ADDRESS);
}

TEST_F(ProtocolTest, FontOf300BytesGoesAs256And44) {
  Bytes font(300, 0x42);
  LoadFont(font);
  Start(true);
  Reply({0xA0});
  Reply({'F', 0, 0x1E, 'S', 'M', 0x00, 0x01});
  std::vector<int> lengths;
  for (int block = 0; block < 2; ++block) {
    Reply({0x1E, 'C', 'A', 0, 0x05});
    const Bytes a = LastWritten();
    Reply({0x1E, 'A', a[2], a[3], 0x04});
    const Bytes d = LastWritten();
    lengths.push_back(d[2] | (d[3] << 8));
    Reply({0x1E, 'D', d[2], d[3], 0x04});
    Bytes echo = LastWritten();
    echo[4] = 0;
    Reply(echo);
    if (block == 0) {
      Reply({0x1E, 'S', 'M', 0, 0x05});
    }
  }
  EXPECT_EQ(lengths, (std::vector<int>{256, 44}));
  EXPECT_EQ(LastWritten(), (Bytes{0x1E, 'w', 'o', 'k', 0x04 | 0x82}));
  EXPECT_EQ(m_window.notifications, (std::vector<MessageId>{LN_STATUS, LN_STEP, LN_STEP, LN_DONE}));
}

TEST_F(ProtocolTest, NothingToLoad) {
  LoadProgram("TEST", {});
  Start();
  EXPECT_EQ(m_window.notifications, std::vector<MessageId>{LN_NO_DATA});
  EXPECT_EQ(Writes(), 0u);
  EXPECT_FALSE(m_run->IsBusy());
  m_run.reset();
  m_window.notifications.clear();
  LoadFont({});
  Start(true);
  EXPECT_EQ(m_window.notifications, std::vector<MessageId>{LN_NO_DATA});
  EXPECT_EQ(Writes(), 0u);
}

TEST_F(ProtocolTest, KBlocksStepTheBarKTimes) {
  std::vector<std::pair<uint32_t, Bytes>> blocks;
  for (uint32_t k = 0; k < 7; ++k) {
    blocks.push_back({0x100 * k, Bytes(k * 30, static_cast<uint8_t>(k))});
  }
  LoadProgram("M", blocks);
  Start();
  Reply({0xA0});
  Reply({'M', 0, 0x1E, 'S', 'M', 0, 1});
  for (size_t k = 0; k < blocks.size(); ++k) {
    Reply({0x1E, 'C', 'A', 0, 1});
    const Bytes a = LastWritten();
    Reply({0x1E, 'A', a[2], a[3], 1});
    const Bytes d = LastWritten();
    Reply({0x1E, 'D', d[2], d[3], 1});
    Bytes echo = LastWritten();
    echo[4] = 0;
    Reply(echo);
    if (k + 1 < blocks.size()) {
      Reply({0x1E, 'S', 'M', 0, 1});
    }
  }
  EXPECT_EQ(m_window.progress.steps, 7);
  EXPECT_EQ(m_window.notifications, (std::vector<MessageId>{LN_STATUS, LN_DONE}));
}

// Real time: a printer that goes quiet ends the load, once, whatever it was waiting for.
struct TimeoutCase {
  const char* name;
  std::vector<Bytes> replies;
};

class TimeoutTest : public ProtocolTest, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(TimeoutTest, SilenceEndsTheLoadOnce) {
  LoadProgram("TEST", {{0x2000, {1, 2, 3, 4}}});
  Start();
  for (const Bytes& reply : GetParam().replies) {
    Reply(reply);
  }
  ASSERT_TRUE(m_queue.RunUntil(
      [&] {
        for (MessageId m : m_window.notifications) {
          if (m == LN_TIMEOUT) {
            return true;
          }
        }
        return false;
      },
      20s));
  EXPECT_FALSE(m_run->IsBusy());
  EXPECT_EQ(m_run->m_rx.Size(), 0);
  Reply({0xA0});  // too late: ignored
  m_queue.DispatchPending();
  EXPECT_EQ(std::count(m_window.notifications.begin(), m_window.notifications.end(), LN_TIMEOUT),
            1);
  EXPECT_EQ(m_window.notifications.back(), LN_TIMEOUT);
}

INSTANTIATE_TEST_SUITE_P(
    Silences, TimeoutTest,
    ::testing::Values(TimeoutCase{"AfterWakeUp", {}}, TimeoutCase{"AfterAck", {{0xA0}}},
                      TimeoutCase{"AfterDiscardedWake", {{0xA0, 0xA0}}},
                      TimeoutCase{"AfterLongIdent", {{0xA0}, {'T', 0, 0x1E, 'S', 'M', 0, 1, 2}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProtocolTest, DestroyingACountingRunPostsNothing) {
  LoadProgram("TEST", {{0x2000, {1, 2, 3, 4}}});
  Start();
  EXPECT_EQ(g_current_run.load(), m_run.get());
  m_run.reset();
  EXPECT_EQ(g_current_run.load(), nullptr);
  m_queue.DispatchPending();
  EXPECT_TRUE(m_window.notifications.empty());
}

}  // namespace
}  // namespace velmar::engine
