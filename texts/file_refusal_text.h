#pragma once
// What the user is told when a data file is refused: the outcome's text (106 or 102), then on a
// line of its own the file's name and why, in our words followed by the system's.
//
// Principles of operation: the reason's words are chosen by a table from the result's reason;
// the system's words come in brackets when the system reported an error. The lines are joined
// by '\n', with no newline at the end, so that every front end (the windows' box, the loader's
// standard error) places the text as it likes. A result with no reason gives the outcome's text
// alone.

#include <string>

#include "datafile/data_file.h"

namespace velmar::texts {

std::string FileRefusalText(const datafile::DataFileResult& result, const std::string& path);

}  // namespace velmar::texts
