// The words for a data file that was refused.

#include "texts/file_refusal_text.h"

#include <gtest/gtest.h>

#include "texts/string_table.h"

namespace velmar::texts {
namespace {

using datafile::ReadOutcome;
using datafile::RefusalReason;

// Text 106 or 102 kept as it stands, then the file's name and why, the system's words in
// brackets; a result with no reason gives the outcome's text alone.
TEST(FileRefusalTextTest, NamesTheFileAndWhy) {
  const std::string cannot_open(LoadText(IDS_CANNOT_OPEN));
  const std::string bad_data(LoadText(IDS_BAD_DATA));
  const struct {
    ReadOutcome outcome;
    int text_id;
    RefusalReason reason;
    const char* system_text;
    std::string text;
  } cases[] = {
      {ReadOutcome::kCannotOpen, IDS_CANNOT_OPEN, RefusalReason::kMissing,
       "No such file or directory",
       cannot_open + "\n/no/such.bin: Такого файла нет (No such file or directory)."},
      {ReadOutcome::kCannotOpen, IDS_CANNOT_OPEN, RefusalReason::kNotAFile, "",
       cannot_open + "\n/no/such.bin: Это не обычный файл, а устройство или канал."},
      {ReadOutcome::kBadData, IDS_BAD_DATA, RefusalReason::kTooLarge, "",
       bad_data + "\n/no/such.bin: Файл больше 17301766 байт."},
      {ReadOutcome::kBadData, IDS_BAD_DATA, RefusalReason::kNone, "", bad_data},
  };
  for (const auto& c : cases) {
    datafile::DataFileResult result;
    result.outcome = c.outcome;
    result.text_id = c.text_id;
    result.reason = c.reason;
    result.system_text = c.system_text;
    EXPECT_EQ(FileRefusalText(result, "/no/such.bin"), c.text) << static_cast<int>(c.reason);
  }
}

}  // namespace
}  // namespace velmar::texts
