// A printer's progress follows the file's whole range, however large the file.

#include <gtest/gtest.h>

#include "cli/printer_window.h"
#include "datafile/data_file.h"
#include "platform/progress_messages.h"

namespace velmar::cli {
namespace {

struct RangeCase {
  const char* name;
  datafile::FileKind kind;
  uint16_t progress_total;  // programs
  int32_t payload_length;   // fonts
  int32_t start;            // the position the steps begin from
  int steps;
  double fraction;
};

TEST(ProgressCounterTest, FillsInProportionToTheFilesWholeRange) {
  const RangeCase cases[] = {
      {"small program", datafile::FileKind::kProgram, 1325, 0, 0, 2, 530.0 / 2120},
      {"program past 16 bits with its extra", datafile::FileKind::kProgram, 65000, 0, 0, 100,
       26500.0 / 65795},
      {"font of 64 KiB", datafile::FileKind::kFont, 0, 65536, 0, 100, 26500.0 / 65536},
      {"font of 1 MiB, a step past its end", datafile::FileKind::kFont, 0, 1 << 20, 0, 3957, 1.0},
      // The bar's model wraps a position stepped past the 32-bit limit rather than overflowing.
      {"a step past the 32-bit limit wraps below the range", datafile::FileKind::kFont, 0, 1 << 20,
       INT32_MAX - 100, 1, 0.0},
  };
  platform::MessageQueue queue;
  for (const RangeCase& c : cases) {
    ProgressCounter bar(queue, {});
    datafile::DataFileResult file;
    file.kind = c.kind;
    file.progress_total = c.progress_total;
    file.payload_length = c.payload_length;
    datafile::SetUpProgress(&bar, file);
    EXPECT_EQ(bar.Fraction(), 0.0) << c.name;
    platform::SendMessage(&bar, platform::PBM_SETPOS, static_cast<platform::WParam>(c.start));
    for (int i = 0; i < c.steps; ++i) {
      platform::SendMessage(&bar, platform::PBM_STEPIT);
    }
    EXPECT_NEAR(bar.Fraction(), c.fraction, 1e-9) << c.name;
  }
}

}  // namespace
}  // namespace velmar::cli
