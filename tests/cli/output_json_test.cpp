// The JSON stream read back by a real parser: every line an object with its event's keys in
// order, strings as they were; the human summary apart. (Each printer's order is the parallel
// loads' test's.)

#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <regex>

#include "cli/output.h"
#include "cli/output_json.h"
#include "tests/cli/scripted_run.h"

namespace velmar::cli {
namespace {

using Json = nlohmann::ordered_json;

TEST(JsonOutputTest, EveryLineIsAnObjectWithItsEventsKeysInOrder) {
  const std::map<std::string, std::vector<std::string>> keys = {
      {"run_start", {"file", "kind", "model", "size", "sha256", "printers"}},
      {"printer_start", {"port"}},
      {"identified", {"port", "model"}},
      {"progress", {"port", "bytes", "total"}},
      {"retry", {"port", "attempt", "reason"}},
      {"printer_end", {"port", "result", "status", "key", "text", "elapsed", "attempts"}},
      {"run_end", {"printers", "loaded", "failed", "status", "elapsed"}},
  };
  const std::vector<LoadEvent> events = TwoPrinterRun();
  CapturedStream out, err;
  auto output = MakeOutput({.json = true, .several = true, .out = out.get(), .err = err.get()});
  for (const LoadEvent& e : events) {
    output->Publish(e);
  }
  output->Close();

  const std::vector<std::string> lines = Lines(out.Text());
  ASSERT_EQ(lines.size(), events.size());
  const std::regex stamp(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
  for (const std::string& line : lines) {
    const Json object = Json::parse(line);  // throws on anything that is not JSON
    std::vector<std::string> names;
    for (const auto& item : object.items()) {
      names.push_back(item.key());
    }
    const std::string event = object.at("event");
    std::vector<std::string> expected = {"v", "ts", "event"};
    expected.insert(expected.end(), keys.at(event).begin(), keys.at(event).end());
    EXPECT_EQ(names, expected) << line;
    EXPECT_EQ(object.at("v"), 1);
    EXPECT_TRUE(std::regex_match(object.at("ts").get<std::string>(), stamp)) << line;
  }
  const Json first = Json::parse(lines.front());
  EXPECT_EQ(first.at("file"), events.front().file);
  EXPECT_EQ(first.at("model"), "ВЕЛ-2000");
  EXPECT_EQ(first.at("ts"), "2026-12-08T10:15:02.000Z");
  EXPECT_EQ(Json::parse(lines.back()).at("event"), "run_end");
  const Json failed = Json::parse(lines[lines.size() - 2]);
  EXPECT_EQ(failed.at("text"), events[events.size() - 2].text);
  EXPECT_EQ(failed.at("elapsed"), 5.19);
  // The human side: only the summary, on the other stream.
  EXPECT_EQ(Lines(err.Text()).back(), "1 of 2 loaded");
}

TEST(JsonOutputTest, StampsAreUtcToTheMillisecond) {
  const struct {
    int64_t milliseconds;
    const char* stamp;
  } cases[] = {
      {0, "1970-01-01T00:00:00.000Z"},
      {1796724902123, "2026-12-08T10:15:02.123Z"},
      {1709251199999, "2024-02-29T23:59:59.999Z"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UtcStamp(std::chrono::system_clock::time_point{} +
                       std::chrono::milliseconds(c.milliseconds)),
              c.stamp);
  }
}

}  // namespace
}  // namespace velmar::cli
