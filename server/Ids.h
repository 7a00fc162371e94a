#pragma once
// Report ids: the only key to a report, so they must not be guessable from
// other ids or from the time they were made.
#include <string>
#include <string_view>

namespace tidora::server {

// 24 characters of base64url (A-Z a-z 0-9 - _) carrying 144 bits from the
// kernel's random source. Throws std::runtime_error when that source fails:
// a weaker id would be worse than no report.
std::string NewReportId();

// True when the text has the exact shape NewReportId makes; anything else is
// turned away before it reaches the database.
bool IsReportId(std::string_view text);

}  // namespace tidora::server
