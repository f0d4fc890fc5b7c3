#include "emulator/load_summary.h"

#include "emulator/format.h"

namespace velmar::emulator {

namespace {

constexpr double kBitsPerByte = 10.0;  // start bit, 8 data bits, stop bit

const char* KindName(LoadKind kind) {
  switch (kind) {
    case LoadKind::kProgram:
      return "program";
    case LoadKind::kFont:
      return "font";
    case LoadKind::kUnknown:
      break;
  }
  return "load";
}

}  // namespace

std::chrono::duration<double> LineTime(int64_t bytes, int32_t baud) {
  if (baud <= 0) {
    return std::chrono::duration<double>::zero();
  }
  return std::chrono::duration<double>(static_cast<double>(bytes) * kBitsPerByte / baud);
}

std::string FormatSummary(const LoadSummary& s, int32_t baud) {
  const double elapsed = std::chrono::duration<double>(s.elapsed).count();
  std::string line = Format("load %d: %s %s, %d blocks, %lld bytes, ", s.number, s.model.c_str(),
                            KindName(s.kind), s.blocks, static_cast<long long>(s.bytes));
  line += s.bytes > 0 ? Format("0x%06X-0x%06X", s.lowest, s.highest) : std::string("no data");
  line += Format(", elapsed %.3f s", elapsed);
  if (baud > 0) {
    const double line_time = LineTime(s.line_bytes, baud).count();
    line += Format(", line %.3f s at %d baud", line_time, baud);
    line += line_time > 0 ? Format(", ratio %.2f", elapsed / line_time) : std::string();
  } else {
    line += ", unpaced";
  }
  if (s.Succeeded()) {
    line += ", complete";
  } else {
    line += s.well_formed ? ", incomplete: " : ", malformed: ";
    line += s.reason;
  }
  return line;
}

}  // namespace velmar::emulator
