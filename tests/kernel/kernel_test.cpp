// velmar-load on Debian's own serial drivers: one boot of the kernel under QEMU runs every row
// of the scenario table (scenarios.cpp), each a GoogleTest case, against velmar-printer on the
// host. make test-kernel runs it; it needs root (the kernel in /boot is root's) and the
// packages the Makefile names.

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/kernel/kernel_guest.h"
#include "tests/kernel/scenario.h"

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

namespace {

class KernelScenarioTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(KernelScenarioTest, EndsAsItsRowSays) {
  ASSERT_TRUE(g_guest->Usable()) << g_guest->Trouble();
  RunScenario(*g_guest, GetParam());
  if (HasFailure()) {
    ShowConsole();
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, KernelScenarioTest, ::testing::ValuesIn(Scenarios()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmar::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new velmar::test::GuestEnvironment);
  return RUN_ALL_TESTS();
}
