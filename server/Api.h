#pragma once
// The two calls the program makes besides opening pages: the init call (with
// its hold variant) and the report post. Replies are small compact JSON.
#include "Report.h"
#include "Store.h"

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace tidora::server {

// The identifying headers of a request, kept only when well formed.
ReportOrigin OriginOf(const httplib::Request& request);

// GET /api.init.php: the settings as the init reply, or, with the header
// User-Command: hold, a recorded hold.
void HandleInit(Store& store, const httplib::Request& request, httplib::Response& response);

// POST /report.php: {"pk":"<id>"} once stored; 400 and {"error":...} for a
// body that is not a report (nothing stored); 500 when storing failed.
void HandleReport(Store& store, const ReportLimits& limits, const httplib::Request& request,
                  httplib::Response& response);

// A JSON error body: {"error":"<reason>"}.
void JsonError(httplib::Response& response, int status, const std::string& reason);

}  // namespace tidora::server
