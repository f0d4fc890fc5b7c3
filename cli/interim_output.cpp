#include "cli/interim_output.h"

#include <string>

namespace velmar::cli {
namespace {
class Plain final : public EventSink {
 public:
  void Publish(const LoadEvent& e) override {
    static const char* const kNames[] = {"run_start", "printer_start", "identified", "progress",
                                         "retry",     "printer_end",   "run_end"};
    std::fprintf(stdout, "%s %s model=%s bytes=%lld/%lld attempt=%d reason=%s key=%s status=%d text=%s\n",
                 kNames[static_cast<int>(e.kind)], e.port.c_str(), e.model.c_str(),
                 static_cast<long long>(e.bytes), static_cast<long long>(e.total), e.attempt,
                 e.reason.c_str(), e.key.c_str(), e.status, e.text.c_str());
    std::fflush(stdout);
  }
};
}  // namespace
std::unique_ptr<EventSink> MakeOutput(const OutputChoice&) {
  return std::make_unique<Plain>();
}
}  // namespace velmar::cli
