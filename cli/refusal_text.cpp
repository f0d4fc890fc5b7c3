#include "cli/refusal_text.h"

#include <cstdio>

#include "cli/options.h"
#include "platform/console_output.h"
#include "texts/file_refusal_text.h"

namespace velmar::cli {

int ReportRefusedFile(const datafile::DataFileResult& result, const std::string& path) {
  platform::WriteText(stderr, texts::FileRefusalText(result, path) + "\n");
  return result.outcome == datafile::ReadOutcome::kCannotOpen ? kExitCannotOpenFile : kExitBadFile;
}

}  // namespace velmar::cli
