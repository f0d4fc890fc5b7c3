#pragma once
// The loader's report of a refused data file: the words every front end shows
// (texts::FileRefusalText) on standard error, and the exit status that goes with the outcome.

#include <string>

#include "datafile/data_file.h"

namespace velmar::cli {

// Writes the refusal's text on standard error and returns the loader's exit status for it.
int ReportRefusedFile(const datafile::DataFileResult& result, const std::string& path);

}  // namespace velmar::cli
