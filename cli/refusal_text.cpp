#include "cli/refusal_text.h"

#include <cstdio>

#include "cli/options.h"
#include "platform/console_output.h"
#include "texts/string_table.h"

namespace velmar::cli {

namespace {

using datafile::RefusalReason;

constexpr struct {
  RefusalReason reason;
  texts::TextId text_id;
} kReasons[] = {
    {RefusalReason::kMissing, texts::IDS_FILE_MISSING},
    {RefusalReason::kNoAccess, texts::IDS_FILE_NO_ACCESS},
    {RefusalReason::kFolder, texts::IDS_FILE_FOLDER},
    {RefusalReason::kNotAFile, texts::IDS_FILE_NOT_REGULAR},
    {RefusalReason::kUnreadable, texts::IDS_FILE_UNREADABLE},
    {RefusalReason::kNotDataFile, texts::IDS_FILE_NOT_DATA},
    {RefusalReason::kTooLarge, texts::IDS_FILE_TOO_LARGE},
    {RefusalReason::kDamaged, texts::IDS_FILE_DAMAGED},
};

}  // namespace

std::string FileRefusalText(const datafile::DataFileResult& result, const std::string& path) {
  std::string text(texts::LoadText(result.text_id));
  for (const auto& entry : kReasons) {
    if (entry.reason != result.reason) {
      continue;
    }
    const std::string words =
        texts::FormatText(entry.text_id, std::to_string(datafile::kMaxDataFileSize));
    text.append("\n").append(texts::ReasonLine(path, words, result.system_text));
  }
  return text;
}

int ReportRefusedFile(const datafile::DataFileResult& result, const std::string& path) {
  platform::WriteText(stderr, FileRefusalText(result, path) + "\n");
  return result.outcome == datafile::ReadOutcome::kCannotOpen ? kExitCannotOpenFile : kExitBadFile;
}

}  // namespace velmar::cli
