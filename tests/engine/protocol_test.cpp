// The boot protocol, driven one batch at a time from the test thread.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "engine/downloader.h"
#include "engine/load_notification.h"
#include "tests/engine/load_fixture.h"
#include "tests/engine/printer_script.h"
#include "tests/engine/test_doubles.h"

namespace velmar::engine::testing {
namespace {

using platform::MessageId;

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

PrinterBehaviour Constant(uint8_t status, uint8_t result) {
  PrinterBehaviour printer;
  printer.status = [status](Step, int) { return status; };
  printer.result = [result](Step, int) { return result; };
  return printer;
}

// Two blocks, so that a "w"/"SM" exchange exists; block 1 lies above 64 KiB.
std::vector<ProgramBlock> TwoBlocks() {
  ProgramBlock first{0x002000, {0x01, 0x02, 0x03, 0x04}, 0x0FA1, 0x00};
  ProgramBlock second{0x012100, FontBytes(16), 0xBEEF, 0x7E};
  return {first, second};
}

class ProtocolTest : public LoadTest {
 protected:
  // Starts the load and returns the conversation a good printer has with it.
  Script Start(Load load, const PrinterBehaviour& printer = {}) {
    if (load == Load::kProgram) {
      StartProgram("TEST", TwoBlocks());
      return ProgramScript("TEST", TwoBlocks(), printer);
    }
    const Bytes font = FontBytes(300);
    StartFont(font);
    return FontScript("PRN", font, 0x11234, printer);
  }
};

TEST_F(ProtocolTest, ExampleExchangeByteForByte) {
  window.LoadPayload("TEST",
                     {0x00, 0x20, 0x00, 0x04, 0x00, 0xA1, 0x0F, 0x00, 0x01, 0x02, 0x03, 0x04});
  MakeRun();
  run->StartProgramLoad();
  Pump();
  EXPECT_EQ(Hex(line->Writes()), "1B 42 4F 4F 54");
  EXPECT_EQ(window.Steps(), 1);
  EXPECT_EQ(run->m_state.load(), kProgramWake);

  struct Turn {
    Bytes printer;
    std::string tool;
    std::string notes;
  };
  const std::vector<Turn> turns{
      {{0xA0}, "0A", ""},
      {{0x54, 0x45, 0x53, 0x54, 0x00, 0x1E, 0x53, 0x4D, 0x00, 0x01}, "1E 72 53 01 01", "LN_STATUS"},
      {{0x1E, 0x43, 0x41, 0x00, 0x01}, "1E 61 00 20 00", ""},
      {{0x1E, 0x41, 0x00, 0x20, 0x01}, "1E 64 04 00 01", ""},
      {{0x1E, 0x44, 0x04, 0x00, 0x01}, "1E 65 A1 0F 00 01 02 03 04", ""},
      {{0x1E, 0x65, 0xA1, 0x0F, 0x00, 0x01, 0x02, 0x03, 0x04}, "1E 77 6F 6B 83", "LN_DONE"},
  };
  for (const Turn& turn : turns) {
    SCOPED_TRACE(Hex(turn.printer));
    ASSERT_TRUE(run->IsBusy());
    const size_t writes = line->WriteCount();
    const size_t notes = window.Count();
    Feed(turn.printer);
    ASSERT_EQ(Hex(WritesSince(writes)), turn.tool);
    ASSERT_EQ(Names(IdsSince(notes)), turn.notes);
  }
  EXPECT_FALSE(run->IsBusy());
  EXPECT_EQ(window.Steps(), 1);
  for (const RecordingWindow::Note& note : window.Notes()) {
    EXPECT_EQ(note.wparam, 0u);
    EXPECT_EQ(note.lparam, 0);
  }

  // The printer oracle the other tests use tells the same conversation.
  ProgramBlock block{0x002000, {0x01, 0x02, 0x03, 0x04}, 0x0FA1, 0x00};
  const Script script = ProgramScript("TEST", {block}, Constant(0x01, 0x00));
  ASSERT_EQ(script.size(), turns.size());
  for (size_t i = 0; i < turns.size(); ++i) {
    EXPECT_EQ(Hex(script[i].reply), Hex(turns[i].printer));
  }
  EXPECT_EQ(Hex(AllCommands(script)), Hex(line->Writes()));

  ExpectDeaf(script, script.size());
}

// --- Good printers ---------------------------------------------------------------------------

class ProgramLoadTest : public LoadTest, public ::testing::WithParamInterface<int> {};

TEST_P(ProgramLoadTest, StepsOncePerBlockAndEndsWithDone) {
  const int k = GetParam();
  const std::vector<ProgramBlock> blocks = MakeBlocks(k);
  StartProgram("CTRL-9", blocks);
  EXPECT_EQ(Hex(line->Writes()), "1B 42 4F 4F 54");
  EXPECT_EQ(window.Steps(), 1);  // the first block is taken before anything is received

  const Script script = ProgramScript("CTRL-9", blocks);
  for (size_t i = 0; i < script.size(); ++i) {
    ASSERT_TRUE(run->IsBusy());
    ASSERT_TRUE(Play(script, i, i + 1));
    if (script[i].step == Step::kEcho) {
      EXPECT_EQ(window.Steps(), std::min(script[i].block + 2, k))
          << "after echo " << script[i].block;
    }
  }
  EXPECT_FALSE(run->IsBusy());
  EXPECT_EQ(window.Steps(), k);
  EXPECT_EQ(window.Endings(), 1u);
  EXPECT_TRUE(window.m_data.IsEmpty());
  ExpectDeaf(script, script.size());
}

INSTANTIATE_TEST_SUITE_P(Blocks, ProgramLoadTest, ::testing::Values(1, 2, 3, 5, 7));

struct FontCase {
  const char* name;
  size_t size;
  uint32_t start;
};

void PrintTo(const FontCase& c, std::ostream* os) {
  *os << c.name;
}

class FontLoadTest : public LoadTest, public ::testing::WithParamInterface<FontCase> {};

TEST_P(FontLoadTest, CutsTheFontAtPageBoundaries) {
  const FontCase& c = GetParam();
  const Bytes font = FontBytes(c.size);
  StartFont(font);
  const Script script = FontScript("PRN-7", font, c.start);
  ASSERT_TRUE(PlayAll(script));

  const size_t first = std::min<size_t>(256 - c.start % 256, c.size);
  const size_t blocks = 1 + (c.size - first + 255) / 256;
  EXPECT_EQ(window.Count(LN_STEP), blocks);
  EXPECT_EQ(window.Steps(), 0);  // a font steps through LN_STEP, not through the block taker
  EXPECT_EQ(window.m_model_name, "PRN-7");
  EXPECT_FALSE(run->IsBusy());
  EXPECT_TRUE(window.m_data.IsEmpty());
  ExpectDeaf(script, script.size());
}

INSTANTIATE_TEST_SUITE_P(Fonts, FontLoadTest,
                         ::testing::Values(FontCase{"OneByte", 1, 0}, FontCase{"OnePage", 256, 0},
                                           FontCase{"PagePlusOne", 257, 0},
                                           FontCase{"ThreeHundred", 300, 0},
                                           FontCase{"FromHighAddress", 300, 0x11234},
                                           FontCase{"FillsFirstBlockExactly", 204, 0x11234},
                                           FontCase{"LastByteOfAPage", 10, 0x000FF},
                                           FontCase{"Unaligned", 513, 0x00080},
                                           FontCase{"CrossesBit17", 2000, 0x1FF80}),
                         CaseName<FontCase>);

struct PassingCase {
  const char* name;
  Load load;
  uint8_t status;
  uint8_t result;
};

void PrintTo(const PassingCase& c, std::ostream* os) {
  *os << c.name;
}

class PassingBytesTest : public ProtocolTest, public ::testing::WithParamInterface<PassingCase> {};

TEST_P(PassingBytesTest, LoadCompletes) {
  const PassingCase& c = GetParam();
  const Script script = Start(c.load, Constant(c.status, c.result));
  ASSERT_TRUE(PlayAll(script));
  EXPECT_EQ(window.Endings(), 1u);
  EXPECT_EQ(window.Ids().back(), LN_DONE);
}

INSTANTIATE_TEST_SUITE_P(
    Bits, PassingBytesTest,
    ::testing::Values(PassingCase{"ProgramStatus20", Load::kProgram, 0x20, 0x00},
                      PassingCase{"ProgramStatus8F", Load::kProgram, 0x8F, 0x00},
                      PassingCase{"ProgramResult3F", Load::kProgram, 0x01, 0x3F},
                      PassingCase{"ProgramAllPassingBits", Load::kProgram, 0xAF, 0x3F},
                      PassingCase{"FontStatus20", Load::kFont, 0x20, 0x00},
                      PassingCase{"FontStatus8F", Load::kFont, 0x8F, 0x00},
                      PassingCase{"FontResult3F", Load::kFont, 0x01, 0x3F}),
    CaseName<PassingCase>);

// --- Failures --------------------------------------------------------------------------------

using Alter = std::function<void(Bytes&)>;

Alter Last(uint8_t value) {
  return [value](Bytes& r) { r.back() = value; };
}
Alter FromEnd(size_t back, uint8_t value) {
  return [back, value](Bytes& r) { r[r.size() - back] = value; };
}
Alter At(size_t pos, uint8_t value) {
  return [pos, value](Bytes& r) { r[pos] = value; };
}
Alter Flip(size_t pos) {
  return [pos](Bytes& r) { r[pos] ^= 0x01; };
}
Alter Both(Alter a, Alter b) {
  return [a, b](Bytes& r) {
    a(r);
    b(r);
  };
}
const Alter kLowerCaseName = [](Bytes& r) {
  for (size_t i = 0; i < 4; ++i) {
    r[i] = static_cast<uint8_t>(std::tolower(r[i]));
  }
};
const Alter kDropNameByte = [](Bytes& r) { r.erase(r.begin() + 3); };
const Alter kLongerName = [](Bytes& r) { r.insert(r.begin() + 4, 'X'); };
const Alter kFlipLastData = [](Bytes& r) { r.back() ^= 0xFF; };

struct FailureCase {
  const char* name;
  Load load;
  Step step;
  int block;
  Alter alter;
  std::vector<MessageId> expected;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class FailureTest : public ProtocolTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureTest, PostsOneEndingAndGoesDeaf) {
  const FailureCase& c = GetParam();
  const Script script = Start(c.load);
  const size_t index = IndexOf(script, c.step, c.block);
  ASSERT_TRUE(Play(script, 0, index));

  Bytes reply = script[index].reply;
  c.alter(reply);
  const size_t writes = line->WriteCount();
  const size_t notes = window.Count();
  Feed(reply);
  EXPECT_EQ(Hex(WritesSince(writes)), "") << "reply " << Hex(reply);
  EXPECT_EQ(Names(IdsSince(notes)), Names(c.expected)) << "reply " << Hex(reply);
  EXPECT_EQ(window.Endings(), 1u);
  ExpectDeaf(script, index + 1);
}

constexpr auto P = Load::kProgram;
constexpr auto F = Load::kFont;
constexpr auto kIdent = Step::kIdent;
constexpr auto kCA = Step::kReadReply;
constexpr auto kA = Step::kAddressReply;
constexpr auto kD = Step::kLengthReply;
constexpr auto kEcho = Step::kEcho;
constexpr auto kSM = Step::kStatusReply;
std::vector<MessageId> kStatusThen(MessageId ending) {
  return {LN_STATUS, ending};
}

INSTANTIATE_TEST_SUITE_P(
    Wake, FailureTest,
    ::testing::Values(
        FailureCase{"Program55", P, Step::kWake, -1, At(0, 0x55), {LN_MODEL_UNSUPPORTED}},
        FailureCase{"Program00", P, Step::kWake, -1, At(0, 0x00), {LN_MODEL_UNSUPPORTED}},
        FailureCase{"ProgramA2", P, Step::kWake, -1, At(0, 0xA2), {LN_MODEL_UNSUPPORTED}},
        FailureCase{"Font55", F, Step::kWake, -1, At(0, 0x55), {LN_MODEL_UNSUPPORTED}}),
    CaseName<FailureCase>);

INSTANTIATE_TEST_SUITE_P(
    Ident, FailureTest,
    ::testing::Values(
        FailureCase{"NameCaseDiffers", P, kIdent, -1, kLowerCaseName, {LN_MODEL_MISMATCH}},
        FailureCase{"NameShorter", P, kIdent, -1, kDropNameByte, {LN_MODEL_MISMATCH}},
        FailureCase{"NameLonger", P, kIdent, -1, kLongerName, {LN_MODEL_MISMATCH}},
        FailureCase{"Status10", P, kIdent, -1, Last(0x10), kStatusThen(LN_BAD_PACKET)},
        FailureCase{"Status40", P, kIdent, -1, Last(0x40), kStatusThen(LN_BAD_PACKET)},
        FailureCase{"Result40", P, kIdent, -1, FromEnd(2, 0x40), kStatusThen(LN_INTEGRITY_ERROR)},
        FailureCase{"Result80", P, kIdent, -1, FromEnd(2, 0x80), kStatusThen(LN_INTEGRITY_ERROR)},
        FailureCase{"Marker", P, kIdent, -1, FromEnd(5, 0x1F), kStatusThen(LN_BAD_COMMAND)},
        FailureCase{"LetterS", P, kIdent, -1, FromEnd(4, 's'), kStatusThen(LN_BAD_COMMAND)},
        FailureCase{"LetterM", P, kIdent, -1, FromEnd(3, 'N'), kStatusThen(LN_BAD_COMMAND)},
        FailureCase{"StatusBeforeResult", P, kIdent, -1, Both(Last(0x10), FromEnd(2, 0x80)),
                    kStatusThen(LN_BAD_PACKET)},
        FailureCase{"ResultBeforeLetters", P, kIdent, -1, Both(FromEnd(2, 0x80), FromEnd(4, 'X')),
                    kStatusThen(LN_INTEGRITY_ERROR)},
        FailureCase{"FontStatus10", F, kIdent, -1, Last(0x10), kStatusThen(LN_BAD_PACKET)},
        FailureCase{"FontResult80", F, kIdent, -1, FromEnd(2, 0x80),
                    kStatusThen(LN_INTEGRITY_ERROR)},
        FailureCase{"FontLetterM", F, kIdent, -1, FromEnd(3, 'N'), kStatusThen(LN_BAD_COMMAND)}),
    CaseName<FailureCase>);

INSTANTIATE_TEST_SUITE_P(
    ReadReply, FailureTest,
    ::testing::Values(
        FailureCase{"Status10", P, kCA, 0, Last(0x10), {LN_BAD_PACKET}},
        FailureCase{"Status40", P, kCA, 0, Last(0x40), {LN_BAD_PACKET}},
        FailureCase{"Marker", P, kCA, 0, At(0, 0x00), {LN_BAD_COMMAND}},
        FailureCase{"LetterC", P, kCA, 0, At(1, 'c'), {LN_BAD_COMMAND}},
        FailureCase{"LetterA", P, kCA, 0, At(2, 'B'), {LN_BAD_COMMAND}},
        FailureCase{
            "StatusBeforeLetters", P, kCA, 0, Both(Last(0x40), At(1, 'X')), {LN_BAD_PACKET}},
        FailureCase{"SecondBlockLetter", P, kCA, 1, At(2, 'B'), {LN_BAD_COMMAND}},
        FailureCase{"FontStatus40", F, kCA, 0, Last(0x40), {LN_BAD_PACKET}},
        FailureCase{"FontSecondBlockLetter", F, kCA, 1, At(1, 'c'), {LN_BAD_COMMAND}}),
    CaseName<FailureCase>);

INSTANTIATE_TEST_SUITE_P(
    AddressReply, FailureTest,
    ::testing::Values(
        FailureCase{"Status10", P, kA, 0, Last(0x10), {LN_BAD_PACKET}},
        FailureCase{"Status40", P, kA, 0, Last(0x40), {LN_BAD_PACKET}},
        FailureCase{"Marker", P, kA, 0, At(0, 0x00), {LN_BAD_COMMAND}},
        FailureCase{"Letter", P, kA, 0, At(1, 'a'), {LN_BAD_COMMAND}},
        FailureCase{"AddressLow", P, kA, 0, Flip(2), {LN_BAD_ADDRESS}},
        FailureCase{"AddressMid", P, kA, 0, Flip(3), {LN_BAD_ADDRESS}},
        FailureCase{"AddressBeforeLetter", P, kA, 0, Both(At(1, 'B'), Flip(2)), {LN_BAD_ADDRESS}},
        FailureCase{"StatusBeforeAddress", P, kA, 0, Both(Last(0x10), Flip(2)), {LN_BAD_PACKET}},
        FailureCase{"SecondBlockAddress", P, kA, 1, Flip(3), {LN_BAD_ADDRESS}},
        FailureCase{"FontFirstLetter", F, kA, 0, At(1, 'B'), {LN_BAD_COMMAND}},
        FailureCase{"FontFirstStatus10", F, kA, 0, Last(0x11), {LN_BAD_PACKET}},
        FailureCase{"FontSecondAddress", F, kA, 1, Flip(2), {LN_BAD_ADDRESS}},
        FailureCase{
            "FontSecondAddressBeforeLetter", F, kA, 1, Both(At(1, 'B'), Flip(3)), {LN_BAD_ADDRESS}},
        FailureCase{"FontSecondLetter", F, kA, 1, At(1, 'B'), {LN_BAD_COMMAND}}),
    CaseName<FailureCase>);

INSTANTIATE_TEST_SUITE_P(
    LengthReply, FailureTest,
    ::testing::Values(
        FailureCase{"Status10", P, kD, 0, Last(0x10), {LN_BAD_PACKET}},
        FailureCase{"Status40", P, kD, 0, Last(0x40), {LN_BAD_PACKET}},
        FailureCase{"Marker", P, kD, 0, At(0, 0x00), {LN_BAD_COMMAND}},
        FailureCase{"Letter", P, kD, 0, At(1, 'd'), {LN_BAD_COMMAND}},
        FailureCase{"LengthLow", P, kD, 0, Flip(2), {LN_BAD_SIZE}},
        FailureCase{"LengthHigh", P, kD, 0, Flip(3), {LN_BAD_SIZE}},
        FailureCase{"LengthBeforeLetter", P, kD, 0, Both(At(1, 'X'), Flip(2)), {LN_BAD_SIZE}},
        FailureCase{"StatusBeforeLength", P, kD, 0, Both(Last(0x40), Flip(2)), {LN_BAD_PACKET}},
        FailureCase{"FontLength", F, kD, 0, Flip(2), {LN_BAD_SIZE}},
        FailureCase{"FontSecondLetter", F, kD, 1, At(1, 'X'), {LN_BAD_COMMAND}}),
    CaseName<FailureCase>);

INSTANTIATE_TEST_SUITE_P(
    Echo, FailureTest,
    ::testing::Values(
        FailureCase{"Result40", P, kEcho, 0, At(4, 0x40), {LN_INTEGRITY_ERROR}},
        FailureCase{"Result80IntactEcho", P, kEcho, 0, At(4, 0x80), {LN_INTEGRITY_ERROR}},
        FailureCase{"CrcLow", P, kEcho, 0, Flip(2), {LN_PACKET_INTEGRITY_ERROR}},
        FailureCase{"CrcHigh", P, kEcho, 0, Flip(3), {LN_PACKET_INTEGRITY_ERROR}},
        FailureCase{"FirstDataByte", P, kEcho, 0, Flip(5), {LN_BAD_DATA}},
        FailureCase{"LastDataByte", P, kEcho, 0, kFlipLastData, {LN_BAD_DATA}},
        FailureCase{
            "ResultBeforeCrc", P, kEcho, 0, Both(At(4, 0x80), Flip(2)), {LN_INTEGRITY_ERROR}},
        FailureCase{"CrcBeforeData",
                    P,
                    kEcho,
                    0,
                    Both(Flip(3), kFlipLastData),
                    {LN_PACKET_INTEGRITY_ERROR}},
        FailureCase{"LastBlockData", P, kEcho, 1, kFlipLastData, {LN_BAD_DATA}},
        FailureCase{"FontResult40", F, kEcho, 0, At(4, 0x40), {LN_INTEGRITY_ERROR}},
        FailureCase{"FontCrcLow", F, kEcho, 0, Flip(2), {LN_PACKET_INTEGRITY_ERROR}},
        FailureCase{"FontLastDataByte", F, kEcho, 0, kFlipLastData, {LN_BAD_DATA}},
        FailureCase{"FontLastBlockData", F, kEcho, 1, Flip(5), {LN_BAD_DATA}}),
    CaseName<FailureCase>);

INSTANTIATE_TEST_SUITE_P(
    StatusReply, FailureTest,
    ::testing::Values(
        FailureCase{"Status10", P, kSM, 0, Last(0x10), {LN_BAD_PACKET}},
        FailureCase{"Status40", P, kSM, 0, Last(0x40), {LN_BAD_PACKET}},
        FailureCase{"Result40", P, kSM, 0, FromEnd(2, 0x40), {LN_INTEGRITY_ERROR}},
        FailureCase{"Result80", P, kSM, 0, FromEnd(2, 0x80), {LN_INTEGRITY_ERROR}},
        FailureCase{"Marker", P, kSM, 0, At(0, 0x00), {LN_BAD_COMMAND}},
        FailureCase{"LetterS", P, kSM, 0, At(1, 'X'), {LN_BAD_COMMAND}},
        FailureCase{"LetterM", P, kSM, 0, At(2, 'N'), {LN_BAD_COMMAND}},
        FailureCase{
            "StatusBeforeResult", P, kSM, 0, Both(Last(0x10), FromEnd(2, 0x80)), {LN_BAD_PACKET}},
        FailureCase{"ResultBeforeLetters",
                    P,
                    kSM,
                    0,
                    Both(FromEnd(2, 0x40), At(1, 'X')),
                    {LN_INTEGRITY_ERROR}},
        FailureCase{"FontStatus10", F, kSM, 0, Last(0x10), {LN_BAD_PACKET}},
        FailureCase{"FontResult80", F, kSM, 0, FromEnd(2, 0x80), {LN_INTEGRITY_ERROR}}),
    CaseName<FailureCase>);

TEST_F(ProtocolTest, MismatchKeepsTheFilesModelName) {
  const Script script = Start(Load::kProgram);
  ASSERT_TRUE(Play(script, 0, 1));
  Feed(Concat({BytesOf("test"), {0x00, 0x1E, 'S', 'M', 0x00, 0x01}}));
  EXPECT_EQ(Names(window.Ids()), "LN_MODEL_MISMATCH");
  EXPECT_EQ(window.m_model_name, "TEST");
  EXPECT_EQ(window.Notes().back().model_name, "TEST");  // what the error text shows
  EXPECT_EQ(run->m_reported_model, "test");
}

// --- A line that fails under the load ---------------------------------------------------------

struct LineFailure {
  const char* name;
  Load load;
  ScriptedLine::Options line;  // failing_write is set for each frame in turn
  MessageId ending;
};

void PrintTo(const LineFailure& c, std::ostream* os) {
  *os << c.name;
}

class LineFailureTest : public ProtocolTest, public ::testing::WithParamInterface<LineFailure> {};

// Whichever frame fails, the final "w" included, the load ends there: one ending, never LN_DONE,
// nothing written after the frame that failed.
TEST_P(LineFailureTest, EachFrameThatFailsEndsTheLoadThere) {
  const LineFailure& c = GetParam();
  const size_t frames = AllCommands(Start(c.load)).size();
  for (size_t failing = 1; failing <= frames; ++failing) {
    SCOPED_TRACE(::testing::Message() << "frame " << failing << " of " << frames);
    run.reset();
    ScriptedLine::Options options = c.line;
    options.failing_write = failing;
    line = std::make_shared<ScriptedLine>(options);
    const size_t notes = window.Count();
    const size_t endings = window.Endings();
    const Script script = Start(c.load);
    for (size_t i = 0; i < script.size() && window.Endings() == endings; ++i) {
      Feed(script[i].reply);
    }
    const std::vector<MessageId> ids = IdsSince(notes);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), c.ending), 1) << Names(ids);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), LN_DONE), 0) << Names(ids);
    EXPECT_EQ(line->WriteCount(), failing);
    EXPECT_FALSE(run->IsBusy());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Writes, LineFailureTest,
    ::testing::Values(
        LineFailure{"ProgramLineGone", Load::kProgram, {.failure_loses = true}, LN_PORT_LOST},
        LineFailure{"ProgramLineTookNothing", Load::kProgram, {}, LN_TIMEOUT},
        LineFailure{"FontLineGone", Load::kFont, {.failure_loses = true}, LN_PORT_LOST},
        LineFailure{"FontLineTookNothing", Load::kFont, {}, LN_TIMEOUT}),
    CaseName<LineFailure>);

TEST_F(ProtocolTest, TheLastFrameCountsOnlyOnceItHasLeft) {
  line = std::make_shared<ScriptedLine>(ScriptedLine::Options{.last_unsent = true});
  const Script script = Start(Load::kProgram);
  for (const Exchange& exchange : script) {
    Feed(exchange.reply);
  }
  EXPECT_EQ(Names(window.Ids()), "LN_STATUS, LN_TIMEOUT");
}

// A line that goes at any point of the conversation ends the load at once, and later bytes
// change nothing.
TEST_F(ProtocolTest, ALostLineEndsTheLoadAtOnceWherever) {
  const size_t exchanges = ProgramScript("TEST", TwoBlocks()).size();
  for (size_t at = 0; at < exchanges; ++at) {
    SCOPED_TRACE(::testing::Message() << "before reply " << at);
    run.reset();
    line = std::make_shared<ScriptedLine>();
    const size_t notes = window.Count();
    const Script script = Start(Load::kProgram);
    ASSERT_TRUE(Play(script, 0, at));
    line->Lose();
    Pump();
    const std::vector<MessageId> ids = IdsSince(notes);
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids.back(), LN_PORT_LOST) << Names(ids);
    EXPECT_FALSE(run->IsBusy());
    ExpectDeaf(script, at);
  }
}

// --- Wake-up -----------------------------------------------------------------------------------

struct WakeCase {
  const char* name;
  Load load;
  uint8_t reply;
  std::string ack;
  int32_t next_state;
};

void PrintTo(const WakeCase& c, std::ostream* os) {
  *os << c.name;
}

class WakeTest : public ProtocolTest, public ::testing::WithParamInterface<WakeCase> {};

TEST_P(WakeTest, AcknowledgesAndLoads) {
  const WakeCase& c = GetParam();
  PrinterBehaviour printer;
  printer.wake = c.reply;
  const Script script = Start(c.load, printer);
  Feed({c.reply});
  EXPECT_EQ(Hex(WritesSince(1)), c.ack);
  EXPECT_EQ(window.Count(), 0u);
  EXPECT_EQ(run->m_state.load(), c.next_state);
  EXPECT_EQ(run->m_rx.Size(), 0);
  ASSERT_TRUE(Play(script, 1, script.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, WakeTest,
    ::testing::Values(WakeCase{"ProgramA0", Load::kProgram, 0xA0, "0A", kProgramIdent},
                      WakeCase{"ProgramA1", Load::kProgram, 0xA1, "1A", kProgramIdent},
                      WakeCase{"FontA0", Load::kFont, 0xA0, "0A", kFontIdent},
                      WakeCase{"FontA1", Load::kFont, 0xA1, "1A", kFontIdent}),
    CaseName<WakeCase>);

struct BatchCase {
  const char* name;
  Load load;
  Bytes batch;
  int32_t state;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const BatchCase& c, std::ostream* os) {
  *os << c.name;
}

class DiscardedWakeTest : public ProtocolTest, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(DiscardedWakeTest, StaysWaitingAndASingleByteContinues) {
  const BatchCase& c = GetParam();
  const Script script = Start(c.load);
  Feed(c.batch);
  EXPECT_EQ(line->WriteCount(), 1u);
  EXPECT_EQ(window.Count(), 0u);
  EXPECT_EQ(run->m_state.load(), c.state);
  EXPECT_EQ(run->m_rx.Size(), 0);
  ASSERT_TRUE(PlayAll(script));
}

INSTANTIATE_TEST_SUITE_P(
    Batches, DiscardedWakeTest,
    ::testing::Values(BatchCase{"TwoA0", Load::kProgram, {0xA0, 0xA0}, kProgramWake},
                      BatchCase{"A0A1", Load::kProgram, {0xA0, 0xA1}, kProgramWake},
                      BatchCase{"TwoUnknown", Load::kProgram, {0x55, 0x55}, kProgramWake},
                      BatchCase{"IdentTooEarly",
                                Load::kProgram,
                                {0xA0, 'T', 'E', 'S', 'T', 0x00, 0x1E, 'S', 'M', 0x00, 0x01},
                                kProgramWake},
                      BatchCase{"FontTwoA0", Load::kFont, {0xA0, 0xA0}, kFontWake}),
    CaseName<BatchCase>);

TEST_F(ProtocolTest, BytesBeforeTheStartAreDiscarded) {
  window.LoadPayload("TEST", ProgramPayload(TwoBlocks()));
  MakeRun();
  Feed({0xA0});
  Feed(Concat({BytesOf("TEST"), {0x00, 0x1E, 'S', 'M', 0x00, 0x01}}));
  EXPECT_EQ(run->m_rx.Size(), 0);
  EXPECT_EQ(line->WriteCount(), 0u);
  EXPECT_EQ(window.Count(), 0u);
  EXPECT_FALSE(run->IsBusy());

  run->StartProgramLoad();
  EXPECT_EQ(Hex(line->Writes()), "1B 42 4F 4F 54");
  ASSERT_TRUE(PlayAll(ProgramScript("TEST", TwoBlocks())));
}

TEST_F(ProtocolTest, ADeliveryWithoutBytesChangesNothing) {
  const Script script = Start(Load::kProgram);
  run->OnDataReceived();
  ASSERT_TRUE(Play(script, 0, 1));
  run->OnDataReceived();
  Pump();
  EXPECT_EQ(line->WriteCount(), 2u);
  EXPECT_EQ(run->m_state.load(), kProgramIdent);
  ASSERT_TRUE(Play(script, 1, script.size()));
}

// --- Split and surplus batches ---------------------------------------------------------------

TEST_F(ProtocolTest, IdentificationInThreeBatchesIsJudgedOnce) {
  const Script script = Start(Load::kProgram, Constant(0x01, 0x00));
  ASSERT_TRUE(Play(script, 0, 1));
  Feed({0x54, 0x45});
  Feed({0x53, 0x54, 0x00, 0x1E, 0x53});
  EXPECT_EQ(line->WriteCount(), 2u);
  EXPECT_EQ(window.Count(), 0u);
  Feed({0x4D, 0x00, 0x01});
  EXPECT_EQ(Hex(WritesSince(2)), "1E 72 53 01 01");
  EXPECT_EQ(Names(window.Ids()), "LN_STATUS");
  ASSERT_TRUE(Play(script, 2, script.size()));
  EXPECT_EQ(window.Count(LN_STATUS), 1u);
}

TEST_F(ProtocolTest, IdentificationWaitsForTheFifthByteAfterTheZero) {
  const Script script = Start(Load::kProgram, Constant(0x01, 0x00));
  ASSERT_TRUE(Play(script, 0, 1));
  Feed(Concat({BytesOf("TEST"), {0x00, 0x1E, 0x53, 0x4D, 0x00}}));
  EXPECT_EQ(line->WriteCount(), 2u);
  EXPECT_EQ(window.Count(), 0u);
  Feed({0x01});
  EXPECT_EQ(Hex(WritesSince(2)), "1E 72 53 01 01");
  EXPECT_EQ(Names(window.Ids()), "LN_STATUS");
}

TEST_F(ProtocolTest, IdentificationWithSixBytesAfterTheZeroIsLeftUnjudged) {
  const Script script = Start(Load::kProgram);
  ASSERT_TRUE(Play(script, 0, 1));
  Feed(Concat({BytesOf("TEST"), {0x00, 0x1E, 0x53, 0x4D, 0x00, 0x01, 0x01}}));
  Feed({0x1E, 0x53, 0x4D, 0x00, 0x01});
  EXPECT_EQ(line->WriteCount(), 2u);
  EXPECT_EQ(window.Count(), 0u);
  EXPECT_EQ(run->m_state.load(), kProgramIdent);
}

struct IdentSizeCase {
  const char* name;
  Load load;
  size_t name_length;
  bool accepted;
};

void PrintTo(const IdentSizeCase& c, std::ostream* os) {
  *os << c.name;
}

class IdentSizeTest : public ProtocolTest, public ::testing::WithParamInterface<IdentSizeCase> {};

TEST_P(IdentSizeTest, LongestNameIsTheLimit) {
  const IdentSizeCase& c = GetParam();
  std::string model;
  for (size_t i = 0; i < c.name_length; ++i) {
    model += static_cast<char>('A' + i % 26);
  }
  Script script;
  if (c.load == Load::kProgram) {
    StartProgram(model, TwoBlocks());
    script = ProgramScript(model, TwoBlocks());
  } else {
    const Bytes font = FontBytes(40);
    StartFont(font);
    script = FontScript(model, font, 0x100);
  }
  ASSERT_EQ(script[1].reply.size(), c.name_length + 6);
  if (c.accepted) {
    ASSERT_TRUE(PlayAll(script));
    EXPECT_EQ(window.m_model_name, model);
    return;
  }
  ASSERT_TRUE(Play(script, 0, 1));
  Feed(script[1].reply);
  EXPECT_EQ(line->WriteCount(), 2u);
  EXPECT_EQ(Names(window.Ids()), "LN_BAD_COMMAND");
  ExpectDeaf(script, 2);
}

INSTANTIATE_TEST_SUITE_P(Lengths, IdentSizeTest,
                         ::testing::Values(IdentSizeCase{"Program259", Load::kProgram, 259, true},
                                           IdentSizeCase{"Program260", Load::kProgram, 260, false},
                                           IdentSizeCase{"Font259", Load::kFont, 259, true},
                                           IdentSizeCase{"Font260", Load::kFont, 260, false},
                                           IdentSizeCase{"FontEmptyName", Load::kFont, 0, true}),
                         CaseName<IdentSizeCase>);

TEST_F(ProtocolTest, IdentificationThatGrowsPast265BytesIsABadCommand) {
  const Script script = Start(Load::kProgram);
  ASSERT_TRUE(Play(script, 0, 1));
  Feed(Concat({BytesOf("TEST"), {0x00, 0x1E, 0x53, 0x4D, 0x00, 0x01, 0x01}}));  // 11 bytes
  Feed(Bytes(254, 0x33));                                                       // 265
  EXPECT_EQ(window.Count(), 0u);
  Feed({0x33});  // 266
  EXPECT_EQ(Names(window.Ids()), "LN_BAD_COMMAND");
  EXPECT_EQ(line->WriteCount(), 2u);
  ExpectDeaf(script, 2);
}

TEST_F(ProtocolTest, BabbleWithoutAZeroIsABadCommand) {
  const Script script = Start(Load::kFont);
  ASSERT_TRUE(Play(script, 0, 1));
  Feed(Bytes(266, 0x41));
  EXPECT_EQ(Names(window.Ids()), "LN_BAD_COMMAND");
  ExpectDeaf(script, 2);
}

struct SurplusCase {
  const char* name;
  Step step;
  uint8_t fifth;  // where the status byte would be without the surplus
  uint8_t last;   // the status byte that counts
  bool accepted;
};

void PrintTo(const SurplusCase& c, std::ostream* os) {
  *os << c.name;
}

class SurplusTest : public ProtocolTest, public ::testing::WithParamInterface<SurplusCase> {};

TEST_P(SurplusTest, FiveByteReplyIsReadFromItsStartAndItsLastByte) {
  const SurplusCase& c = GetParam();
  PrinterBehaviour printer;
  printer.status = [&c](Step step, int block) {
    return step == c.step && block == 0 ? c.last : uint8_t{0x01};
  };
  Script script = Start(Load::kProgram, printer);
  const size_t index = IndexOf(script, c.step, 0);
  Bytes& reply = script[index].reply;
  reply.insert(reply.end() - 1, {c.fifth, 0x55});
  ASSERT_EQ(reply.size(), 7u);
  if (c.accepted) {
    ASSERT_TRUE(PlayAll(script));  // the commands after it carry `last`
    return;
  }
  ASSERT_TRUE(Play(script, 0, index));
  Feed(reply);
  EXPECT_EQ(Names(IdsSince(1)), "LN_BAD_PACKET");
  ExpectDeaf(script, index + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SurplusTest,
    ::testing::Values(SurplusCase{"ReadReplyLastPasses", Step::kReadReply, 0x10, 0x23, true},
                      SurplusCase{"ReadReplyLastFails", Step::kReadReply, 0x01, 0x40, false},
                      SurplusCase{"AddressReplyLastPasses", Step::kAddressReply, 0x40, 0x2B, true},
                      SurplusCase{"AddressReplyLastFails", Step::kAddressReply, 0x01, 0x10, false},
                      SurplusCase{"LengthReplyLastPasses", Step::kLengthReply, 0x10, 0x21, true},
                      SurplusCase{"LengthReplyLastFails", Step::kLengthReply, 0x01, 0x50, false}),
    CaseName<SurplusCase>);

TEST_F(ProtocolTest, LengthReplyWithTwoMoreBytesKeepsTheSeventhAsStatus) {
  const Script script = Start(Load::kProgram, Constant(0x01, 0x00));
  const size_t d = IndexOf(script, Step::kLengthReply, 0);
  ASSERT_TRUE(Play(script, 0, d));
  Feed({0x1E, 0x44, 0x04, 0x00, 0x10, 0x77, 0x2C});
  ASSERT_EQ(Hex(WritesSince(WritesBefore(script, d))), Hex(script[d].commands));
  const size_t writes = line->WriteCount();
  Feed(script[d + 1].reply);
  EXPECT_EQ(Hex(WritesSince(writes)), "1E 77 6F 6B 2C");
}

TEST_F(ProtocolTest, TrailingBytesAfterStatusAndEchoAreTolerated) {
  Script script = Start(Load::kProgram);
  Bytes& sm = script[IndexOf(script, Step::kStatusReply, 0)].reply;
  sm.insert(sm.begin(), {0xEE, 0x1E});  // counted from the end
  Bytes& echo = script[IndexOf(script, Step::kEcho, 0)].reply;
  echo.insert(echo.end(), {0x00, 0x99, 0x1E});  // counted from the start
  ASSERT_TRUE(PlayAll(script));
}

struct HighAddressCase {
  const char* name;
  uint32_t address;
  std::string a_command;
};

void PrintTo(const HighAddressCase& c, std::ostream* os) {
  *os << c.name;
}

class HighAddressTest : public ProtocolTest,
                        public ::testing::WithParamInterface<HighAddressCase> {};

TEST_P(HighAddressTest, AddressCommandKeepsBitZeroOnlyForByteTwoOne) {
  const HighAddressCase& c = GetParam();
  const std::vector<ProgramBlock> blocks{{c.address, {0x01, 0x02, 0x03, 0x04}, 0x0FA1, 0x00}};
  StartProgram("TEST", blocks);
  Script script = ProgramScript("TEST", blocks, Constant(0x01, 0x00));
  const size_t ca = IndexOf(script, Step::kReadReply, 0);
  script[ca].reply = {0x1E, 0x43, 0x41, 0x7F, 0x01};  // byte 3 is not looked at
  ASSERT_TRUE(Play(script, 0, ca));
  Feed(script[ca].reply);
  EXPECT_EQ(Hex(WritesSince(WritesBefore(script, ca))), c.a_command);
  ASSERT_TRUE(Play(script, ca + 1, script.size()));
}

INSTANTIATE_TEST_SUITE_P(ByteTwo, HighAddressTest,
                         ::testing::Values(HighAddressCase{"Zero", 0x002000, "1E 61 00 20 00"},
                                           HighAddressCase{"One", 0x012000, "1E 61 00 20 01"},
                                           HighAddressCase{"Two", 0x022000, "1E 61 00 20 00"},
                                           HighAddressCase{"Three", 0x032000, "1E 61 00 20 00"}),
                         CaseName<HighAddressCase>);

struct EchoPrefixCase {
  const char* name;
  Load load;
  uint8_t first;
  uint8_t second;
};

void PrintTo(const EchoPrefixCase& c, std::ostream* os) {
  *os << c.name;
}

class EchoPrefixTest : public ProtocolTest, public ::testing::WithParamInterface<EchoPrefixCase> {};

TEST_P(EchoPrefixTest, FirstTwoEchoBytesAreNotExamined) {
  const EchoPrefixCase& c = GetParam();
  Script script = Start(c.load);
  for (Exchange& exchange : script) {
    if (exchange.step == Step::kEcho) {
      exchange.reply[0] = c.first;
      exchange.reply[1] = c.second;
    }
  }
  ASSERT_TRUE(PlayAll(script));
}

INSTANTIATE_TEST_SUITE_P(Prefixes, EchoPrefixTest,
                         ::testing::Values(EchoPrefixCase{"Zeros", Load::kProgram, 0x00, 0x00},
                                           EchoPrefixCase{"Ones", Load::kProgram, 0xFF, 0xFF},
                                           EchoPrefixCase{"Swapped", Load::kProgram, 0x65, 0x1E},
                                           EchoPrefixCase{"FontZeros", Load::kFont, 0x00, 0x00}),
                         CaseName<EchoPrefixCase>);

struct SlowLineCase {
  Load load;
  size_t name_length;
  size_t batch;  // bytes per delivery; 0: each reply whole
};

void PrintTo(const SlowLineCase& c, std::ostream* os) {
  *os << (c.load == Load::kProgram ? "program" : "font") << " name " << c.name_length << " batch "
      << c.batch;
}

std::vector<SlowLineCase> SlowLineCases() {
  std::vector<SlowLineCase> cases;
  for (Load load : {Load::kProgram, Load::kFont}) {
    for (size_t name_length : {1, 6, 9, 40, 200}) {
      for (size_t batch : {1, 2, 0}) {
        cases.push_back({load, name_length, batch});
      }
    }
  }
  return cases;
}

class SlowLineTest : public ProtocolTest, public ::testing::WithParamInterface<SlowLineCase> {};

// A slow line hands each reply over a byte or two at a time; nothing may be judged before the
// reply is whole, whatever the length of the model name.
TEST_P(SlowLineTest, EveryReplyIsJudgedOnceWhole) {
  const SlowLineCase& c = GetParam();
  std::string model;
  for (size_t i = 0; i < c.name_length; ++i) {
    model += static_cast<char>('a' + i % 26);
  }
  Script script;
  if (c.load == Load::kProgram) {
    StartProgram(model, MakeBlocks(3));
    script = ProgramScript(model, MakeBlocks(3));
  } else {
    const Bytes font = FontBytes(600);
    StartFont(font);
    script = FontScript(model, font, 0x10010);
  }
  for (const Exchange& exchange : script) {
    SCOPED_TRACE(StepName(exchange.step));
    const size_t writes = line->WriteCount();
    const size_t notes = window.Count();
    const size_t batch = c.batch == 0 ? exchange.reply.size() : c.batch;
    for (size_t at = 0; at < exchange.reply.size(); at += batch) {
      ASSERT_EQ(line->WriteCount(), writes);
      ASSERT_EQ(window.Count(), notes);
      const size_t end = std::min(at + batch, exchange.reply.size());
      Feed(Bytes(exchange.reply.begin() + static_cast<ptrdiff_t>(at),
                 exchange.reply.begin() + static_cast<ptrdiff_t>(end)));
    }
    ASSERT_EQ(Hex(WritesSince(writes)), Hex(exchange.commands));
    ASSERT_EQ(Names(IdsSince(notes)), Names(exchange.notes));
  }
  EXPECT_FALSE(run->IsBusy());
  EXPECT_EQ(window.m_model_name, model);
  EXPECT_EQ(run->m_reported_model, model);
}

INSTANTIATE_TEST_SUITE_P(Loads, SlowLineTest, ::testing::ValuesIn(SlowLineCases()),
                         [](const ::testing::TestParamInfo<SlowLineCase>& info) {
                           const SlowLineCase& c = info.param;
                           return std::string(c.load == Load::kProgram ? "Program" : "Font") +
                                  "Name" + std::to_string(c.name_length) +
                                  (c.batch == 0 ? std::string("Whole")
                                                : "Batch" + std::to_string(c.batch));
                         });

// What a transport may wait for before it delivers: the rest of the awaited reply.
TEST_F(ProtocolTest, BytesDueCountTheRestOfTheAwaitedReply) {
  window.LoadPayload("TEST", ProgramPayload(TwoBlocks()));
  MakeRun();
  EXPECT_EQ(run->BytesDue(), 0);  // nothing awaited before the start
  run->StartProgramLoad();
  const Script script = ProgramScript("TEST", TwoBlocks());
  EXPECT_EQ(run->BytesDue(), 1);  // the wake-up reply
  ASSERT_TRUE(Play(script, 0, 1));
  EXPECT_EQ(run->BytesDue(), 6);         // at least a zero and the closing frame
  const Bytes& ident = script[1].reply;  // "TEST", 00, the closing frame
  Feed(Bytes(ident.begin(), ident.begin() + 3));
  EXPECT_EQ(run->BytesDue(), 6);
  Feed(Bytes(ident.begin() + 3, ident.begin() + 6));
  EXPECT_EQ(run->BytesDue(), 4);
  Feed(Bytes(ident.begin() + 6, ident.end()));
  EXPECT_EQ(run->BytesDue(), 5);  // the "CA" reply
  const Bytes& read_reply = script[2].reply;
  Feed(Bytes(read_reply.begin(), read_reply.begin() + 2));
  EXPECT_EQ(run->BytesDue(), 3);
  Feed(Bytes(read_reply.begin() + 2, read_reply.end()));
  ASSERT_TRUE(Play(script, 3, IndexOf(script, Step::kEcho, 0)));
  EXPECT_EQ(run->BytesDue(), 4 + 5);  // the echo of the first block's four bytes
  Feed({0x1E, 0x65, 0x00});           // a wrong echo, judged once whole
  Feed({0x00, 0x00, 0x01, 0x02, 0x03, 0x04});
  EXPECT_EQ(Names(window.Ids()), "LN_STATUS, LN_PACKET_INTEGRITY_ERROR");
  EXPECT_EQ(run->BytesDue(), 0);  // the load has ended
}

// --- Font address rules ----------------------------------------------------------------------

TEST_F(ProtocolTest, FontStartAddressComesFromTheFirstAddressReply) {
  const Bytes font = FontBytes(1000);
  StartFont(font);
  const Script script = FontScript("PRN", font, 0x11234, Constant(0x21, 0x00));
  const Bytes first(font.begin(), font.begin() + 204);
  const uint16_t crc = ReferenceCrc16(first);

  struct Turn {
    Bytes printer;
    std::string tool;
  };
  const std::vector<Turn> turns{
      {{0xA0}, "0A"},
      {Concat({BytesOf("PRN"), {0x00, 0x1E, 0x53, 0x4D, 0x00, 0x21}}), "1E 72 53 01 25"},
      {{0x1E, 0x43, 0x41, 0x00, 0x21}, "1E 61 00 00 20"},
      {{0x1E, 0x41, 0x34, 0x12, 0x21}, "1E 64 CC 00 21"},
      {{0x1E, 0x44, 0xCC, 0x00, 0x21},
       Hex(Concat({{0x1E, 0x65, static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8), 0x00},
                   first}))},
      {Concat(
           {{0x1E, 0x65, static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8), 0x00}, first}),
       "1E 77 6F 6B 21"},
      {{0x1E, 0x53, 0x4D, 0x00, 0x21}, "1E 72 53 01 21"},
      {{0x1E, 0x43, 0x41, 0x00, 0x21}, "1E 61 00 13 21"},  // address byte 2 is now 1
  };
  for (size_t i = 0; i < turns.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(Hex(turns[i].printer), Hex(script[i].reply));
    const size_t writes = line->WriteCount();
    Feed(turns[i].printer);
    ASSERT_EQ(Hex(WritesSince(writes)), turns[i].tool);
  }
  EXPECT_EQ(window.m_block_header[datafile::kHeaderAddressHigh], 1);
  ASSERT_TRUE(Play(script, turns.size(), script.size()));
}

TEST_F(ProtocolTest, FontFirstAddressCommandIgnoresAStaleBlock) {
  window.m_block_header = {0x55, 0x66, 0x01, 0x07, 0x00, 0x12, 0x34, 0x99};
  window.m_block_length = 7;
  window.m_block_data.fill(0xEE);
  const Bytes font = FontBytes(100);
  StartFont(font);
  EXPECT_EQ(Hex(Bytes(window.m_block_header.begin(), window.m_block_header.end())),
            "00 00 00 00 00 00 00 00");
  EXPECT_EQ(window.m_block_length, 0);
  EXPECT_EQ(window.m_block_data[255], 0);
  const Script script = FontScript("PRN", font, 0x00040, Constant(0x01, 0x00));
  const size_t ca = IndexOf(script, Step::kReadReply, 0);
  ASSERT_TRUE(Play(script, 0, ca));
  Feed(script[ca].reply);
  EXPECT_EQ(Hex(WritesSince(WritesBefore(script, ca))), "1E 61 00 00 00");
  ASSERT_TRUE(Play(script, ca + 1, script.size()));
}

TEST_F(ProtocolTest, Font300BytesFromZeroGoesAs256And44) {
  const Bytes font = FontBytes(300);
  StartFont(font);
  ASSERT_TRUE(PlayAll(FontScript("PRN", font, 0, Constant(0x01, 0x00))));
  std::vector<std::string> lengths;
  for (const Bytes& frame : line->Writes()) {
    if (frame.size() == 5 && frame[1] == 'd') {
      lengths.push_back(Hex(frame));
    }
    if (frame.size() > 5 && frame[1] == 'e') {
      lengths.push_back(std::to_string(frame.size()));
    }
  }
  // The first "A" reply reports address bit 16 as 0, so its status byte has bit 0 clear.
  EXPECT_EQ(lengths, (std::vector<std::string>{"1E 64 00 01 00", "261", "1E 64 2C 00 01", "49"}));
  EXPECT_EQ(Hex(line->Writes().back()), "1E 77 6F 6B 83");
  EXPECT_EQ(Names(window.Ids()), "LN_STATUS, LN_STEP, LN_STEP, LN_DONE");
}

TEST_F(ProtocolTest, FontShorterThanItsFirstBlockGoesAsOne) {
  const Bytes font = FontBytes(10);
  StartFont(font);
  const Script script = FontScript("PRN", font, 0x11234, Constant(0x01, 0x00));
  ASSERT_TRUE(PlayAll(script));
  const Bytes e = script[IndexOf(script, Step::kLengthReply, 0)].commands[0];
  EXPECT_EQ(e.size(), 15u);
  EXPECT_EQ(Hex(Bytes(e.begin() + 5, e.end())), Hex(font));
  EXPECT_EQ(Names(window.Ids()), "LN_STATUS, LN_STEP, LN_DONE");
}

struct FirstReadCase {
  const char* name;
  Load load;
  uint8_t ident_status;
  std::string r_command;
};

void PrintTo(const FirstReadCase& c, std::ostream* os) {
  *os << c.name;
}

class FirstReadTest : public ProtocolTest, public ::testing::WithParamInterface<FirstReadCase> {};

TEST_P(FirstReadTest, FontLoadMarksItsFirstRead) {
  const FirstReadCase& c = GetParam();
  const Script script = Start(c.load, Constant(c.ident_status, 0x00));
  ASSERT_TRUE(Play(script, 0, 1));
  Feed(script[1].reply);
  EXPECT_EQ(Hex(WritesSince(2)), c.r_command);
}

INSTANTIATE_TEST_SUITE_P(
    Bits, FirstReadTest,
    ::testing::Values(FirstReadCase{"Font01", Load::kFont, 0x01, "1E 72 53 01 05"},
                      FirstReadCase{"Font00", Load::kFont, 0x00, "1E 72 53 01 04"},
                      FirstReadCase{"Font04", Load::kFont, 0x04, "1E 72 53 01 04"},
                      FirstReadCase{"Font8F", Load::kFont, 0x8F, "1E 72 53 01 8F"},
                      FirstReadCase{"Program01", Load::kProgram, 0x01, "1E 72 53 01 01"}),
    CaseName<FirstReadCase>);

TEST_F(ProtocolTest, FontTakesTheReportedModelBeforeShowingIt) {
  const Bytes font = FontBytes(40);
  StartFont(font);
  window.m_model_name = "OLD";
  const Script script = FontScript("PRN-7", font, 0);
  // The queue's wake handler runs inside the post, on the posting thread (this one here): it
  // sees the name as it was when LN_STATUS was posted, not when it is handled.
  std::vector<std::string> at_post;
  queue.SetWakeHandler([&] { at_post.push_back(window.m_model_name); });
  ASSERT_TRUE(Play(script, 0, 2));
  queue.SetWakeHandler(nullptr);
  EXPECT_EQ(at_post, std::vector<std::string>{"PRN-7"});
  ASSERT_EQ(window.Count(), 1u);
  EXPECT_EQ(window.Notes()[0].model_name, "PRN-7");
  EXPECT_EQ(window.m_model_name, "PRN-7");
  EXPECT_EQ(run->m_reported_model, "PRN-7");
}

TEST_F(ProtocolTest, EmptyFontHasNoData) {
  StartFont({});
  EXPECT_EQ(Names(window.Ids()), "LN_NO_DATA");
  EXPECT_EQ(line->WriteCount(), 0u);
  EXPECT_FALSE(run->IsBusy());
  ExpectDeaf(FontScript("PRN", FontBytes(10), 0), 0);
}

}  // namespace
}  // namespace velmar::engine::testing
