// The run's life: construction, start, destruction, and the threads that meet in it.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/downloader.h"
#include "engine/load_notification.h"
#include "platform/manual_reset_event.h"
#include "tests/engine/load_fixture.h"
#include "tests/engine/printer_script.h"
#include "tests/engine/test_doubles.h"

namespace velmar::engine::testing {
namespace {

// A deadlock would otherwise only show as the whole binary timing out, without a name.
class HangGuard {
 public:
  explicit HangGuard(const char* what)
      : m_thread([this, what] {
          if (!m_done.WaitFor(60s)) {
            std::fprintf(stderr, "hung: %s\n", what);
            std::abort();
          }
        }) {}
  ~HangGuard() {
    m_done.Set();
    m_thread.join();
  }
  HangGuard(const HangGuard&) = delete;
  HangGuard& operator=(const HangGuard&) = delete;

 private:
  platform::ManualResetEvent m_done;
  std::thread m_thread;
};

// Splits a reply into `parts` batches of nearly equal size.
std::vector<Bytes> Split(const Bytes& reply, size_t parts) {
  std::vector<Bytes> batches;
  parts = std::max<size_t>(1, std::min(parts, reply.size()));
  size_t at = 0;
  for (size_t i = 0; i < parts; ++i) {
    const size_t next = reply.size() * (i + 1) / parts;
    batches.emplace_back(reply.begin() + static_cast<ptrdiff_t>(at),
                         reply.begin() + static_cast<ptrdiff_t>(next));
    at = next;
  }
  return batches;
}

class DownloaderTest : public LoadTest {};

TEST_F(DownloaderTest, ProgramWithoutBlocksHasNoData) {
  window.LoadPayload("TEST", {});
  MakeRun();
  run->StartProgramLoad();
  Pump();
  EXPECT_EQ(Names(window.Ids()), "LN_NO_DATA");
  EXPECT_EQ(line->WriteCount(), 0u);
  EXPECT_FALSE(run->IsBusy());
  EXPECT_EQ(window.Steps(), 0);
  ExpectDeaf(ProgramScript("TEST", MakeBlocks(1)), 0);
}

// A system out of threads: a load that nothing would time out must not start.
class WatchdoglessRun final : public Downloader {
 public:
  using Downloader::Downloader;

 protected:
  bool StartWatchdogThread(std::thread&) override { return false; }
};

TEST_F(DownloaderTest, WithoutAWatchdogNothingIsSentAndTheStartEndsAsATimeOut) {
  for (const Load load : {Load::kProgram, Load::kFont}) {
    const size_t notes = window.Count();
    window.LoadPayload("TEST", ProgramPayload(MakeBlocks(1)));
    run.reset();
    run = std::make_unique<WatchdoglessRun>(&window, ScriptedLine::Factory(line));
    load == Load::kProgram ? run->StartProgramLoad() : run->StartFontLoad();
    Pump();
    EXPECT_EQ(Names(IdsSince(notes)), "LN_TIMEOUT");
    EXPECT_EQ(line->WriteCount(), 0u);
    EXPECT_FALSE(run->IsBusy());
    run.reset();
    line = std::make_shared<ScriptedLine>();
  }
}

TEST_F(DownloaderTest, CurrentRunIsTheLiveOne) {
  EXPECT_EQ(g_current_run.load(), nullptr);
  MakeRun();
  EXPECT_EQ(g_current_run.load(), run.get());
  run->StartProgramLoad();
  EXPECT_EQ(g_current_run.load(), run.get());
  std::thread([] { EXPECT_EQ(g_current_run.load(), nullptr); }).join();  // a run is its thread's
  run.reset();
  EXPECT_EQ(g_current_run.load(), nullptr);

  line = std::make_shared<ScriptedLine>();
  MakeRun();
  EXPECT_EQ(g_current_run.load(), run.get());
  run.reset();
  EXPECT_EQ(g_current_run.load(), nullptr);
}

TEST_F(DownloaderTest, TransportIsOpenedAtConstructionAndClosedBeforeItGoes) {
  window.LoadPayload("TEST", ProgramPayload(MakeBlocks(1)));
  MakeRun();
  EXPECT_EQ(line->OpenCalls(), 1);
  EXPECT_TRUE(run->m_transport->IsOpen());
  run->StartProgramLoad();
  EXPECT_EQ(line->CloseCalls(), 0);
  run.reset();
  EXPECT_EQ(line->CloseCalls(), 1);
  EXPECT_TRUE(line->TransportDestroyed());
}

TEST_F(DownloaderTest, TransportThatFailsToOpenIsReportedThroughIsOpen) {
  line = std::make_shared<ScriptedLine>(ScriptedLine::Options{.open_fails = true});
  window.LoadPayload("TEST", ProgramPayload(MakeBlocks(1)));
  MakeRun();
  EXPECT_FALSE(run->m_transport->IsOpen());
  EXPECT_FALSE(run->IsBusy());
  run.reset();  // what the window does on finding it closed
  Pump();
  EXPECT_EQ(window.Count(), 0u);
  EXPECT_EQ(line->WriteCount(), 0u);
  EXPECT_TRUE(line->TransportDestroyed());
}

struct CountingCase {
  const char* name;
  Step until;      // replies before this exchange are played
  size_t partial;  // bytes of its reply then delivered
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const CountingCase& c, std::ostream* os) {
  *os << c.name;
}

class DestroyCountingTest : public LoadTest, public ::testing::WithParamInterface<CountingCase> {};

TEST_P(DestroyCountingTest, DestroyingStopsTheTimeOutSilently) {
  const CountingCase& c = GetParam();
  const std::vector<ProgramBlock> blocks = MakeBlocks(2);
  StartProgram("TEST", blocks);
  const Script script = ProgramScript("TEST", blocks);
  const size_t index = IndexOf(script, c.until, c.until <= Step::kIdent ? -1 : 0);
  ASSERT_TRUE(Play(script, 0, index));
  Feed(Bytes(script[index].reply.begin(),
             script[index].reply.begin() + static_cast<ptrdiff_t>(c.partial)));
  ASSERT_TRUE(run->IsBusy());
  const size_t notes = window.Count();
  {
    HangGuard guard("destroying a counting run");
    run.reset();
  }
  Pump();
  EXPECT_EQ(Names(IdsSince(notes)), "");
}

INSTANTIATE_TEST_SUITE_P(Points, DestroyCountingTest,
                         ::testing::Values(CountingCase{"AfterWakeUp", Step::kWake, 0},
                                           CountingCase{"AfterAck", Step::kIdent, 0},
                                           CountingCase{"HalfAnIdentification", Step::kIdent, 6},
                                           CountingCase{"AwaitingTheEcho", Step::kEcho, 0},
                                           CountingCase{"HalfAnEcho", Step::kEcho, 3}),
                         [](const ::testing::TestParamInfo<CountingCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(DownloaderTest, DestroyingWhileTheDeliveryThreadWaitsForAProgressStep) {
  const std::vector<ProgramBlock> blocks = MakeBlocks(2);
  StartProgram("TEST", blocks);
  const Script script = ProgramScript("TEST", blocks);
  const size_t echo = IndexOf(script, Step::kEcho, 0);
  ASSERT_TRUE(Play(script, 0, echo));
  ASSERT_EQ(window.Steps(), 1);

  // The delivery thread is inside the send once it asked for the progress window and the
  // send has woken this thread's queue.
  std::atomic<bool> taking{false};
  platform::ManualResetEvent send_pending;
  window.SetProgressHook([&] { taking.store(true); });
  queue.SetWakeHandler([&] {
    if (taking.load()) {
      send_pending.Set();
    }
  });
  std::thread printer([&] { line->Deliver(script[echo].reply); });
  EXPECT_TRUE(send_pending.WaitFor(kDeadline));
  {
    HangGuard guard("destroying while the delivery thread waits in a send");
    run.reset();  // this thread owns the progress window and does not pump
    printer.join();
  }
  queue.SetWakeHandler(nullptr);
  window.SetProgressHook(nullptr);
  EXPECT_EQ(window.Steps(), 1);  // the refused step never reached the window
  const size_t notes = window.Count();
  Pump();
  EXPECT_EQ(window.Count(), notes);
  EXPECT_EQ(Names(window.Ids()), "LN_STATUS");
}

struct ThreadedCase {
  const char* name;
  Load load;
  size_t batches;  // per reply
};

void PrintTo(const ThreadedCase& c, std::ostream* os) {
  *os << c.name;
}

class ThreadedLoadTest : public LoadTest, public ::testing::WithParamInterface<ThreadedCase> {};

// The printer answers on its own thread, as a serial line's event thread would; this thread
// only pumps, serving the progress steps that the printer's thread sends.
TEST_P(ThreadedLoadTest, PrinterOnItsOwnThreadCompletesTheLoad) {
  const ThreadedCase& c = GetParam();
  Script script;
  int blocks = 0;
  if (c.load == Load::kProgram) {
    blocks = 4;
    StartProgram("TEST", MakeBlocks(blocks));
    script = ProgramScript("TEST", MakeBlocks(blocks));
  } else {
    const Bytes font = FontBytes(900);
    StartFont(font);
    script = FontScript("PRN", font, 0x10080);
  }
  std::mutex trouble_lock;
  std::string trouble;
  std::thread printer([&] {
    for (size_t i = 0; i < script.size(); ++i) {
      if (!line->WaitForWrites(WritesBefore(script, i), kDeadline)) {
        std::lock_guard lock(trouble_lock);
        trouble = std::string("no command before the ") + StepName(script[i].step) + " reply";
        return;
      }
      for (const Bytes& batch : Split(script[i].reply, c.batches)) {
        line->Deliver(batch);
      }
    }
  });
  const bool ended = queue.RunUntil([&] { return window.Endings() > 0; }, 3 * kDeadline);
  printer.join();
  Pump();
  EXPECT_TRUE(ended);
  EXPECT_EQ(trouble, "");
  EXPECT_EQ(Hex(line->Writes()), Hex(AllCommands(script)));
  std::vector<platform::MessageId> notes;
  for (const Exchange& exchange : script) {
    notes.insert(notes.end(), exchange.notes.begin(), exchange.notes.end());
  }
  EXPECT_EQ(Names(window.Ids()), Names(notes));
  EXPECT_EQ(window.Steps(), blocks);
  EXPECT_FALSE(run->IsBusy());
}

INSTANTIATE_TEST_SUITE_P(Printers, ThreadedLoadTest,
                         ::testing::Values(ThreadedCase{"Program", Load::kProgram, 1},
                                           ThreadedCase{"ProgramInPieces", Load::kProgram, 3},
                                           ThreadedCase{"Font", Load::kFont, 1},
                                           ThreadedCase{"FontInPieces", Load::kFont, 4}),
                         [](const ::testing::TestParamInfo<ThreadedCase>& info) {
                           return std::string(info.param.name);
                         });

// Destruction lands at random points of a load whose printer answers on another thread:
// sometimes while that thread waits in a progress step, sometimes between batches, sometimes
// after the load has ended. Whatever the point, nothing hangs and at most one outcome is told.
TEST_F(DownloaderTest, DestroyingWhileRepliesArriveTellsAtMostOneOutcome) {
  std::mt19937 random(20261207);
  const std::vector<ProgramBlock> blocks = MakeBlocks(2);
  const Script script = ProgramScript("TEST", blocks);
  const std::vector<Bytes> all = AllCommands(script);
  for (int iteration = 0; iteration < 80; ++iteration) {
    SCOPED_TRACE(::testing::Message() << "iteration " << iteration);
    HangGuard guard("destroying while replies arrive");
    RecordingWindow w(queue);
    w.LoadPayload("TEST", ProgramPayload(blocks));
    auto l = std::make_shared<ScriptedLine>();
    auto r = std::make_unique<Downloader>(&w, ScriptedLine::Factory(l));
    r->StartProgramLoad();

    const size_t batches = 1 + random() % 3;
    std::thread printer([&] {
      for (size_t i = 0; i < script.size(); ++i) {
        if (!l->WaitForWrites(WritesBefore(script, i), kDeadline)) {
          return;  // closed
        }
        for (const Bytes& batch : Split(script[i].reply, batches)) {
          if (!l->Deliver(batch)) {
            return;
          }
        }
      }
    });
    if (iteration % 2 == 0) {
      const size_t target = random() % (all.size() + 1);
      queue.RunUntil([&] { return l->WriteCount() >= target; }, kDeadline);
    } else {
      for (unsigned spins = random() % 20000; spins > 0; --spins) {
        std::this_thread::yield();  // not pumping: a step, if reached, waits for the refusal
      }
    }
    r.reset();
    printer.join();
    Pump();

    EXPECT_EQ(g_current_run.load(), nullptr);
    const std::vector<Bytes> writes = l->Writes();
    ASSERT_LE(writes.size(), all.size());
    EXPECT_EQ(Hex(writes), Hex(std::vector<Bytes>(
                               all.begin(), all.begin() + static_cast<ptrdiff_t>(writes.size()))));
    EXPECT_LE(w.Endings(), 1u) << Names(w.Ids());
    if (w.Endings() == 1) {
      const platform::MessageId ending = w.Ids().back();
      EXPECT_TRUE(ending == LN_DONE || ending == LN_TIMEOUT) << Names(w.Ids());
      if (ending == LN_DONE) {
        EXPECT_EQ(writes.size(), all.size());
      }
    }
    for (const std::string& violation : l->Violations()) {
      ADD_FAILURE() << "transport misuse: " << violation;
    }
  }
}

TEST_F(DownloaderTest, DestroyingWhileThePrinterBabblesDoesNotHang) {
  StartProgram("TEST", MakeBlocks(2));
  std::atomic<int> batches{0};
  // Two-byte batches are no wake-up reply: each is discarded and re-arms the time-out.
  std::thread babbler([&] {
    while (line->Deliver({0xA0, 0xA0})) {
      ++batches;
    }
  });
  EXPECT_TRUE(queue.RunUntil([&] { return batches.load() >= 50; }, kDeadline));
  {
    HangGuard guard("destroying while the printer babbles");
    run.reset();
    babbler.join();
  }
  Pump();
  EXPECT_EQ(window.Count(), 0u);
  EXPECT_EQ(Hex(line->Writes()), "1B 42 4F 4F 54");
}

}  // namespace
}  // namespace velmar::engine::testing
