#include "cli/output.h"

#include "cli/output_board.h"
#include "cli/output_json.h"
#include "cli/output_plain.h"
#include "cli/output_single.h"

namespace velmar::cli {

namespace {
constexpr int kDefaultColumns = 80;
}  // namespace

std::unique_ptr<EventSink> MakeOutput(const OutputChoice& choice) {
  if (choice.json) {
    return std::make_unique<JsonOutput>(choice.out, choice.err, choice.several,
                                        UseColour(choice.colour, choice.err));
  }
  if (!choice.several) {
    return std::make_unique<SingleOutput>(choice.out, choice.err, choice.terminal);
  }
  if (choice.terminal) {
    return std::make_unique<BoardOutput>(choice.out,
                                         choice.columns > 0 ? choice.columns : kDefaultColumns,
                                         UseColour(choice.colour, choice.out));
  }
  return std::make_unique<PlainOutput>(choice.out, UseColour(choice.colour, choice.out));
}

}  // namespace velmar::cli
