#include "tests/engine/load_fixture.h"

#include "engine/load_notification.h"

namespace velmar::engine::testing {

std::string Names(const std::vector<platform::MessageId>& ids) {
  std::string text;
  for (platform::MessageId id : ids) {
    if (!text.empty()) {
      text += ", ";
    }
    const NotificationInfo* info = FindNotification(id);
    text += info != nullptr ? info->name : std::to_string(id);
  }
  return text;
}

std::vector<Bytes> Babble() {
  std::vector<Bytes> batches{{0xA0},
                             {0x00},
                             {0x1E, 'S', 'M', 0x00, 0x01},
                             Concat({BytesOf("TEST"), {0x00, 0x1E, 'S', 'M', 0x00, 0x01}}),
                             Bytes(300, 0x00)};
  Bytes flood(20000);
  for (size_t i = 0; i < flood.size(); ++i) {
    flood[i] = static_cast<uint8_t>(i * 37);
  }
  batches.push_back(flood);
  return batches;
}

void LoadTest::TearDown() {
  run.reset();
  Pump();
  for (const std::string& violation : line->Violations()) {
    ADD_FAILURE() << "transport misuse: " << violation;
  }
}

void LoadTest::MakeRun() {
  run = std::make_unique<Downloader>(&window, ScriptedLine::Factory(line));
}

void LoadTest::StartProgram(const std::string& model, const std::vector<ProgramBlock>& blocks) {
  window.LoadPayload(model, ProgramPayload(blocks));
  MakeRun();
  run->StartProgramLoad();
  Pump();
}

void LoadTest::StartFont(const Bytes& font) {
  window.LoadPayload("", font);
  MakeRun();
  run->StartFontLoad();
  Pump();
}

void LoadTest::Feed(const Bytes& bytes) {
  line->Push(bytes);
  // A transport hands over what it holds, a read's worth per call.
  for (int guard = 0; line->Pending() > 0 && guard < 100; ++guard) {
    run->OnDataReceived();
  }
  EXPECT_EQ(line->Pending(), 0u) << "the run stopped taking bytes";
  Pump();
}

void LoadTest::Pump() {
  while (queue.DispatchPending() > 0) {
  }
}

bool LoadTest::Play(const Script& script, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i) {
    const Exchange& exchange = script[i];
    SCOPED_TRACE(::testing::Message() << "reply " << StepName(exchange.step) << " of block "
                                      << exchange.block << ": " << Hex(exchange.reply));
    const size_t writes = line->WriteCount();
    const size_t notes = window.Count();
    Feed(exchange.reply);
    const std::string written = Hex(WritesSince(writes));
    const std::string posted = Names(IdsSince(notes));
    EXPECT_EQ(written, Hex(exchange.commands));
    EXPECT_EQ(posted, Names(exchange.notes));
    if (written != Hex(exchange.commands) || posted != Names(exchange.notes)) {
      return false;
    }
  }
  return true;
}

void LoadTest::ExpectDeaf(const Script& script, size_t from) {
  const size_t writes = line->WriteCount();
  const size_t notes = window.Count();
  for (size_t i = from; i < script.size(); ++i) {
    Feed(script[i].reply);
  }
  for (const Bytes& batch : Babble()) {
    Feed(batch);
  }
  EXPECT_EQ(Hex(WritesSince(writes)), "");
  EXPECT_EQ(Names(IdsSince(notes)), "");
}

std::vector<Bytes> LoadTest::WritesSince(size_t count) const {
  std::vector<Bytes> writes = line->Writes();
  writes.erase(writes.begin(),
               writes.begin() + static_cast<ptrdiff_t>(std::min(count, writes.size())));
  return writes;
}

std::vector<platform::MessageId> LoadTest::IdsSince(size_t count) const {
  std::vector<platform::MessageId> ids = window.Ids();
  ids.erase(ids.begin(), ids.begin() + static_cast<ptrdiff_t>(std::min(count, ids.size())));
  return ids;
}

}  // namespace velmar::engine::testing
