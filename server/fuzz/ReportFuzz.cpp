// libFuzzer target for the report parser: any body either is refused with a
// reason, or is a report that writes back to a text which parses to the very
// same report. Built by scripts/fuzz with clang; the regression test runs the
// cases kept in regressions/ through the same function.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Report.h"

using namespace tidora::server;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view body(reinterpret_cast<const char*>(data), size);
  ReportLimits limits;
  limits.maxRecords = 2000;  // keeps each run short; the checks are the same
  std::string error;
  std::optional<UsageReport> report = ParseReport(body, error, limits);
  if (!report) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  for (const StartRecord& start : report->startups) {
    EntryKey key = EntryKeyOf(start);
    if (!IsEntrySource(key.source)) std::abort();
  }
  // Escaping may grow the text six-fold; only the size limit is lifted.
  ReportLimits again = limits;
  again.maxBody = body.size() * 6 + 1024;
  std::optional<UsageReport> reparsed = ParseReport(WriteReport(*report), error, again);
  if (!reparsed || !(*reparsed == *report)) std::abort();
  return 0;
}
