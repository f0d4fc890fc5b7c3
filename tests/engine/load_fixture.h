#pragma once
// The test thread plays the printer: it hands a batch to the line, calls OnDataReceived itself
// and pumps its queue, so every step of a load is deterministic.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/downloader.h"
#include "platform/window_message.h"
#include "tests/engine/printer_script.h"
#include "tests/engine/test_doubles.h"

namespace velmar::engine::testing {

using namespace std::chrono_literals;
inline constexpr auto kDeadline = 10s;

enum class Load { kProgram, kFont };

// "LN_STATUS, LN_DONE".
std::string Names(const std::vector<platform::MessageId>& ids);
// Bytes a babbling printer sends, in batches of every size up to more than one read holds.
std::vector<Bytes> Babble();

class LoadTest : public ::testing::Test {
 protected:
  void TearDown() override;

  void MakeRun();
  void StartProgram(const std::string& model, const std::vector<ProgramBlock>& blocks);
  void StartFont(const Bytes& font);

  void Feed(const Bytes& bytes);
  void Pump();

  // Plays script[from, to) and checks what each reply produces; false at the first difference.
  bool Play(const Script& script, size_t from, size_t to);
  bool PlayAll(const Script& script) { return Play(script, 0, script.size()); }
  // Feeds the rest of the script and a babbling stream: nothing may be written or posted.
  void ExpectDeaf(const Script& script, size_t from);

  std::vector<Bytes> WritesSince(size_t count) const;
  std::vector<platform::MessageId> IdsSince(size_t count) const;

  platform::MessageQueue queue;  // the test thread's, before any window
  RecordingWindow window{queue};
  std::shared_ptr<ScriptedLine> line = std::make_shared<ScriptedLine>();
  std::unique_ptr<Downloader> run;
};

}  // namespace velmar::engine::testing
