// The Windows serial line's settings and port names, as data.

#include "platform/serial_settings_win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/serial_line.h"

namespace velmar::platform {
namespace {

// The DCB's bit-field word, right after DCBlength and BaudRate.
DWORD FlagWord(const DCB& dcb) {
  DWORD flags = 0;
  std::memcpy(&flags, reinterpret_cast<const uint8_t*>(&dcb) + 2 * sizeof(DWORD), sizeof flags);
  return flags;
}

constexpr DWORD kLowFifteenBits = 0x7FFF;
// fBinary, DTR and RTS enabled, fErrorChar (which replaces nothing without fParity),
// fAbortOnError.
constexpr DWORD kLineFlags = 0x5411;

struct DcbCase {
  const char* what;
  uint8_t fill;  // every byte of the DCB the driver reported
  int32_t baud_rate;
};

class LineSettingsTest : public ::testing::TestWithParam<DcbCase> {};

TEST_P(LineSettingsTest, WritesTheLineAndKeepsWhatTheDriverReported) {
  const DcbCase& c = GetParam();
  DCB reported;
  std::memset(&reported, c.fill, sizeof reported);
  DCB dcb = reported;
  ApplyLineSettings(&dcb, c.baud_rate);

  EXPECT_EQ(dcb.DCBlength, 28u);
  EXPECT_EQ(dcb.BaudRate, static_cast<DWORD>(c.baud_rate));
  EXPECT_EQ(FlagWord(dcb) & kLowFifteenBits, kLineFlags);
  EXPECT_EQ(FlagWord(dcb) & ~kLowFifteenBits, FlagWord(reported) & ~kLowFifteenBits);
  EXPECT_EQ(dcb.XonLim, 150);
  EXPECT_EQ(dcb.XoffLim, 150);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.XonChar, 0x11);
  EXPECT_EQ(dcb.XoffChar, 0x13);
  // The members the line leaves to the driver.
  EXPECT_EQ(dcb.wReserved, reported.wReserved);
  EXPECT_EQ(dcb.ErrorChar, reported.ErrorChar);
  EXPECT_EQ(dcb.EofChar, reported.EofChar);
  EXPECT_EQ(dcb.EvtChar, reported.EvtChar);
  EXPECT_EQ(dcb.wReserved1, reported.wReserved1);
  EXPECT_TRUE(SameLineSettings(dcb, dcb));
}

INSTANTIATE_TEST_SUITE_P(Reported, LineSettingsTest,
                         ::testing::Values(DcbCase{"Zeroes", 0x00, 115200},
                                           DcbCase{"Ones", 0xFF, 2400},
                                           DcbCase{"Mixed", 0xA5, 7200},
                                           DcbCase{"OddRate", 0x5A, 14400}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST(LineSettingsTest, ADriverThatChangedTheLineIsNoticed) {
  DCB wanted{};
  ApplyLineSettings(&wanted, 14400);
  const std::vector<std::pair<const char*, void (*)(DCB*)>> changes = {
      {"rate rounded", [](DCB* d) { d->BaudRate = 14399; }},
      {"7 data bits", [](DCB* d) { d->ByteSize = 7; }},
      {"even parity", [](DCB* d) { d->Parity = EVENPARITY; }},
      {"two stop bits", [](DCB* d) { d->StopBits = TWOSTOPBITS; }},
      {"CTS flow", [](DCB* d) { d->fOutxCtsFlow = 1; }},
      {"XON/XOFF out", [](DCB* d) { d->fOutX = 1; }},
      {"XON/XOFF in", [](DCB* d) { d->fInX = 1; }},
  };
  for (const auto& [what, change] : changes) {
    DCB actual = wanted;
    change(&actual);
    EXPECT_FALSE(SameLineSettings(wanted, actual)) << what;
  }
}

TEST(PortNameTest, OnlyComTenAndAboveGetTheDeviceNamespace) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"COM1", "COM1"},
      {"COM9", "COM9"},
      {"COM10", "\\\\.\\COM10"},
      {"com12", "\\\\.\\com12"},
      {"COM256", "\\\\.\\COM256"},
      {"COM09", "COM09"},  // the number is 9
      {"COM0", "COM0"},
      {"COM", "COM"},
      {"COM1a", "COM1a"},
      {"COM-12", "COM-12"},
      {"\\\\.\\COM12", "\\\\.\\COM12"},
      {"LPT12", "LPT12"},
      {"", ""},
  };
  for (const auto& [name, device] : cases) {
    EXPECT_EQ(DeviceName(name), device) << '"' << name << '"';
  }
}

TEST(PortNameTest, ComNumbers) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"COM1", 1},  {"cOm7", 7},  {"COM10", 10}, {"COM0", 0},           {"COM", 0},
      {"COM 1", 0}, {"COM+1", 0}, {"XCOM1", 0},  {"COM99999999999", 0},
  };
  for (const auto& [name, number] : cases) {
    EXPECT_EQ(ComNumber(name, ComLetters::kAnyCase), number) << '"' << name << '"';
  }
}

TEST(PortNameTest, PortsSortByNumberThenName) {
  const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
      {{}, {}},
      {{"COM10", "COM2", "COM1"}, {"COM1", "COM2", "COM10"}},
      {{"CNCA0", "COM3", "COM3", "BTH1"}, {"COM3", "BTH1", "CNCA0"}},
      {{"COM11", "com3"}, {"com3", "COM11"}},
  };
  for (const auto& [names, sorted] : cases) {
    EXPECT_EQ(SortedPorts(names), sorted);
  }
}

TEST(PortNameTest, EverySpellingOfAPortHasOneLock) {
  const std::vector<std::vector<std::string>> same = {
      {"COM4", "com4", "\\\\.\\COM4", "\\\\.\\com4"},
      {"COM12", "\\\\.\\COM12", DeviceName("COM12")},
  };
  for (const auto& names : same) {
    for (const std::string& name : names) {
      EXPECT_EQ(LockName(name), LockName(names.front())) << name;
      EXPECT_EQ(LockName(name).find('\\', 6), std::string::npos) << LockName(name);
      EXPECT_EQ(PortIdentity(name), PortIdentity(names.front())) << name;
    }
  }
  EXPECT_EQ(PortIdentity("\\\\.\\com12"), "COM12");
  EXPECT_NE(LockName("COM1"), LockName("COM11"));
  EXPECT_NE(LockName("COM1"), LockName("\\\\.\\pipe\\COM1"));
}

}  // namespace
}  // namespace velmar::platform
