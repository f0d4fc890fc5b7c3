#include "texts/file_refusal_text.h"

#include "texts/string_table.h"

namespace velmar::texts {

namespace {

using datafile::RefusalReason;

constexpr struct {
  RefusalReason reason;
  TextId text_id;
} kReasons[] = {
    {RefusalReason::kMissing, IDS_FILE_MISSING},
    {RefusalReason::kNoAccess, IDS_FILE_NO_ACCESS},
    {RefusalReason::kFolder, IDS_FILE_FOLDER},
    {RefusalReason::kNotAFile, IDS_FILE_NOT_REGULAR},
    {RefusalReason::kUnreadable, IDS_FILE_UNREADABLE},
    {RefusalReason::kNotDataFile, IDS_FILE_NOT_DATA},
    {RefusalReason::kTooLarge, IDS_FILE_TOO_LARGE},
    {RefusalReason::kDamaged, IDS_FILE_DAMAGED},
};

}  // namespace

std::string FileRefusalText(const datafile::DataFileResult& result, const std::string& path) {
  std::string text(LoadText(result.text_id));
  for (const auto& entry : kReasons) {
    if (entry.reason != result.reason) {
      continue;
    }
    const std::string words = FormatText(entry.text_id, std::to_string(datafile::kMaxDataFileSize));
    text.append("\n").append(ReasonLine(path, words, result.system_text));
  }
  return text;
}

}  // namespace velmar::texts
