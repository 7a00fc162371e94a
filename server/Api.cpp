#include "Api.h"

#include <httplib.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "Settings.h"

namespace tidora::server {

namespace {

constexpr const char* kJson = "application/json; charset=utf-8";

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// "1.0.0.1": up to four dot-separated numbers of at most five digits.
bool IsVersion(const std::string& text) {
  if (text.empty() || text.size() > 23) return false;
  int digits = 0, dots = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      if (++digits > 5) return false;
    } else if (c == '.' && digits > 0 && dots < 3) {
      digits = 0;
      ++dots;
    } else {
      return false;
    }
  }
  return digits > 0;
}

// The program's user id is 32 hexadecimal digits and dates; accept any short
// alphanumeric id rather than lose a report over its form.
bool IsUserId(const std::string& text) {
  if (text.empty() || text.size() > 64) return false;
  for (char c : text)
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

}  // namespace

ReportOrigin OriginOf(const httplib::Request& request) {
  ReportOrigin origin;
  std::string version = request.get_header_value("User-Version");
  std::string user = request.get_header_value("User-Union");
  if (IsVersion(version)) origin.version = version;
  if (IsUserId(user)) origin.userId = user;
  origin.received = Now();
  return origin;
}

void JsonError(httplib::Response& response, int status, const std::string& reason) {
  response.status = status;
  response.set_content(nlohmann::json{{"error", reason}}.dump(), kJson);
}

void HandleInit(Store& store, const httplib::Request& request, httplib::Response& response) {
  response.set_header("Cache-Control", "no-store");
  if (request.get_header_value("User-Command") == "hold") {
    store.RecordHold(OriginOf(request).version, Now());
    response.set_content("{\"hold\":\"ok\"}", kJson);
    return;
  }
  response.set_content(InitReply(store.Settings()), kJson);
}

void HandleReport(Store& store, const ReportLimits& limits, const httplib::Request& request,
                  httplib::Response& response) {
  std::string error;
  std::optional<UsageReport> report = ParseReport(request.body, error, limits);
  if (!report) {
    JsonError(response, request.body.size() > limits.maxBody ? 413 : 400, error);
    return;
  }
  std::string id;
  try {
    id = store.AddReport(*report, OriginOf(request));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "report not stored: %s\n", e.what());
    JsonError(response, 500, "report not stored");
    return;
  }
  // The program takes the id from the first "pk":" in the text: keep the
  // reply this compact and the id first.
  response.set_content("{\"pk\":\"" + id + "\"}", kJson);
}

}  // namespace tidora::server
