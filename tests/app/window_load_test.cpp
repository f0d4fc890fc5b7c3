// Whole loads through the window's behaviour into the emulated printer: the file given on the
// command line, the port picked from the saved settings, the notifications pumped as a GUI does.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/app/fake_main_view.h"
#include "tests/integration/child_process.h"
#include "tests/integration/sample_image.h"

namespace velmar::app::testing {
namespace {

constexpr auto kDeadline = std::chrono::seconds(60);

// One step per program block, or per 256 bytes of a font.
int Steps(const std::vector<uint8_t>& file, bool font) {
  size_t at = std::find(file.begin() + 5, file.end(), 0) - file.begin() + 1;
  if (font) {
    return static_cast<int>((file.size() - at + 255) / 256);
  }
  int blocks = 0;
  for (at += 2; at + 8 <= file.size(); at += 8 + (file[at + 3] | (file[at + 4] << 8))) {
    ++blocks;
  }
  return blocks;
}

struct LoadCase {
  const char* name;
  const char* sample;
  std::vector<std::string> printer_options;
  std::vector<std::string> texts;  // of the bar, from the start of the load
  const char* outcome;
};

void PrintTo(const LoadCase& c, std::ostream* os) {
  *os << c.name;
}

class WindowLoadTest : public DialogTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(WindowLoadTest, TheFileArrivesAndTheWindowReturnsToIdle) {
  const LoadCase& c = GetParam();
  const std::string link = (m_dir / "printer").string();
  const std::string image = (m_dir / "image.hex").string();
  const std::string sample = std::string(VELMAR_SAMPLES) + "/" + c.sample;
  test::ChildProcess printer;
  std::vector<std::string> argv = {VELMAR_PRINTER, "--link",  link, "--image",
                                   image,          "--loads", "1"};
  argv.insert(argv.end(), c.printer_options.begin(), c.printer_options.end());
  ASSERT_TRUE(printer.Start(argv));
  ASSERT_TRUE(printer.WaitForOutput(link, kDeadline)) << printer.Err();

  m_profile->SetString("Settings", "_combo_comm_port", link);
  MakeDialog(PortItems({link}), sample);
  const size_t texts_before = m_view->progress.texts.size();
  m_dialog->StartLoad();
  ASSERT_TRUE(PumpUntil([&] { return !m_boxes.empty(); }));
  m_queue.DispatchPending();
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0].text, c.outcome);
  EXPECT_EQ(m_boxes[0].icon, platform::BoxIcon::kInformation);
  EXPECT_EQ(std::vector<std::string>(m_view->progress.texts.begin() + texts_before,
                                     m_view->progress.texts.end()),
            c.texts);
  EXPECT_TRUE(m_view->IsIdle());

  ASSERT_TRUE(printer.Wait(kDeadline));
  EXPECT_EQ(printer.ExitStatus(), 0) << printer.Out() << printer.Err();
  const auto bytes = test::ReadBytes(sample);
  const bool font = sample.ends_with(".fnt");
  test::Image loaded;
  ASSERT_TRUE(test::ReadIntelHex(image, &loaded));
  EXPECT_EQ(loaded, font ? test::FontImage(bytes, 0) : test::ProgramImage(bytes));
  EXPECT_EQ(m_view->progress.steps, Steps(bytes, font));
}

INSTANTIATE_TEST_SUITE_P(
    Samples, WindowLoadTest,
    ::testing::Values(LoadCase{"Program",
                               "sample.bin",
                               {},
                               {"Загрузка программы в TEST...", "Загрузка программы в TEST...",
                                " "},
                               "Программа успешно загружена в принтер."},
                      // Right after start no model is known: the printer's answer names it.
                      LoadCase{"Font",
                               "sample.fnt",
                               {"--model", "FNT1"},
                               {"Загрузка шрифта в ...", "Загрузка шрифта в FNT1...", " "},
                               "Шрифт успешно загружен в принтер."}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmar::app::testing
