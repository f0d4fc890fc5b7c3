// velmar-load on Debian's own serial drivers: one boot of the kernel under QEMU runs every row
// of the scenario table (scenarios.cpp) and of the station's (station_rows.cpp), each a
// GoogleTest case, against velmar-printer on the host. make test-kernel runs it; it needs root (the
// kernel in /boot is root's) and the packages the Makefile names.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "tests/kernel/kernel_guest.h"
#include "tests/kernel/scenario.h"
#include "tests/kernel/station_row.h"

namespace velmar::test {
namespace {

constexpr size_t kConsoleLines = 30;
KernelGuest* g_guest = nullptr;

void ShowConsole() {
  std::printf("the guest's console ended with:\n%s",
              g_guest->machine.ConsoleTail(kConsoleLines).c_str());
}

class GuestEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    g_guest = new KernelGuest;
    if (g_guest->Boot()) {
      std::printf("[ measured ] boot to the runner's ready: %.3f s\n", g_guest->BootSeconds());
    } else {
      ADD_FAILURE() << "the guest did not boot: " << g_guest->Trouble();
      ShowConsole();
    }
  }
  void TearDown() override {
    g_guest->PowerOff();
    std::printf("[ measured ] the whole run: %.3f s\n", g_guest->RunSeconds());
    delete g_guest;
    g_guest = nullptr;
  }
};

}  // namespace

void PrintTo(const Scenario& scenario, std::ostream* os) {
  *os << scenario.name;
}

void PrintTo(const StationRow& row, std::ostream* os) {
  *os << row.name;
}

namespace {

template <typename Row>
void RunInGuest(void (*run)(KernelGuest&, const Row&), const Row& row) {
  ASSERT_TRUE(g_guest->Usable()) << g_guest->Trouble();
  run(*g_guest, row);
  if (::testing::Test::HasFailure()) {
    ShowConsole();
  }
}

class KernelScenarioTest : public ::testing::TestWithParam<Scenario> {};
TEST_P(KernelScenarioTest, EndsAsItsRowSays) {
  RunInGuest(RunScenario, GetParam());
}

class KernelStationTest : public ::testing::TestWithParam<StationRow> {};
TEST_P(KernelStationTest, RecordsAsItsRowSays) {
  RunInGuest(RunStationRow, GetParam());
}

// The listing reads what the guest's drivers made: the adapter's USB details, the UART, and
// not ttyS3, which 8250 makes with nothing at its address.
TEST(KernelListingTest, NamesTheAdapterBySerialNumberAndLeavesOutAnEmptyUart) {
  ASSERT_TRUE(g_guest->Usable()) << g_guest->Trouble();
  constexpr std::chrono::seconds kDeadline{30};
  ASSERT_TRUE(g_guest->control.Ask("start listing --list-ports", kDeadline).ok);
  const GuestReply reply = g_guest->control.Ask("wait listing", kDeadline);
  ASSERT_TRUE(reply.ok) << reply.value;
  EXPECT_EQ(reply.value, "0");
  std::string listing;
  for (const std::string& line : reply.out) {
    listing += line + "\n";
  }
  EXPECT_NE(listing.find("/dev/ttyUSB0\t"), std::string::npos) << listing;
  EXPECT_NE(listing.find("0403:6001, serial SN1, ftdi_sio"), std::string::npos) << listing;
  EXPECT_NE(listing.find("/dev/ttyS2"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("/dev/ttyS3"), std::string::npos) << listing;
}

INSTANTIATE_TEST_SUITE_P(Rows, KernelScenarioTest, ::testing::ValuesIn(Scenarios()),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Rows, KernelStationTest, ::testing::ValuesIn(StationRows()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmar::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new velmar::test::GuestEnvironment);
  return RUN_ALL_TESTS();
}
