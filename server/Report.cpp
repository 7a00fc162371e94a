#include "Report.h"

#include <charconv>
#include <nlohmann/json.hpp>

namespace tidora::server {

namespace {

using nlohmann::json;

constexpr int kMaxDepth = 2;  // an array of flat objects

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the four hex digits of a \u escape starting at text[at] (the backslash).
int EscapedUnit(std::string_view text, size_t at) {
  if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u') return -1;
  int v = 0;
  for (size_t i = at + 2; i < at + 6; ++i) {
    int h = HexValue(text[i]);
    if (h < 0) return -1;
    v = v * 16 + h;
  }
  return v;
}

// One pass over the text before the JSON parser sees it. It rejects nesting
// deeper than a report has (the parser would otherwise build whatever depth
// the sender likes) and replaces unpaired UTF-16 surrogates with U+FFFD: the
// program escapes file names unit by unit, and Windows allows a file name that
// is not valid UTF-16, which must not cost the whole report. An escaped NUL
// goes the same way: no Windows name holds one, and a database text column
// (or a C string on its way there) would cut the value short at it.
bool Prepare(std::string_view body, std::string& out, std::string& error) {
  out.clear();
  out.reserve(body.size());
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    if (inString) {
      if (c == '"') {
        inString = false;
      } else if (c == '\\' && i + 1 < body.size()) {
        int unit = EscapedUnit(body, i);
        if (unit == 0) {
          out.append("\\uFFFD");
          i += 5;
          continue;
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) {
          int next = EscapedUnit(body, i + 6);
          if (unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            out.append(body.substr(i, 12));
            i += 11;
          } else {
            out.append("\\uFFFD");
            i += 5;
          }
          continue;
        }
        out += c;
        out += body[++i];
        continue;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxDepth) {
        error = "too deeply nested";
        return false;
      }
    } else if (c == ']' || c == '}') {
      --depth;
    }
    out += c;
  }
  return true;
}

bool ParseCount(const std::string& text, int64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// The program writes its five source names in capitals, exactly.
bool IsSourceName(const std::string& from) {
  for (char c : from)
    if (c < 'A' || c > 'Z') return false;
  return IsEntrySource(LowerAscii(from));
}

struct RecordReader {
  const json& record;
  size_t index;
  const ReportLimits& limits;
  std::string& error;

  bool Fail(const char* why) {
    error = "record " + std::to_string(index) + ": " + why;
    return false;
  }

  // The record must hold exactly `keys` plus, when given, `optionalKey`.
  bool HasKeys(std::initializer_list<const char*> keys, const char* optionalKey = nullptr) {
    size_t expected = keys.size();
    for (const char* key : keys)
      if (!record.contains(key)) return Fail("missing key");
    if (optionalKey && record.contains(optionalKey)) ++expected;
    if (record.size() != expected) return Fail("unexpected key");
    for (const auto& item : record.items()) {
      if (!item.value().is_string()) return Fail("value is not a string");
      if (item.value().get_ref<const std::string&>().size() > limits.maxValue)
        return Fail("value too long");
    }
    return true;
  }

  const std::string& Text(const char* key) const {
    return record.at(key).get_ref<const std::string&>();
  }

  // Checks the record and adds it to the report.
  bool ReadInto(UsageReport& report) {
    if (!record.is_object()) return Fail("not an object");
    auto cate = record.find("cate");
    if (cate == record.end() || !cate->is_string()) return Fail("no kind");
    const std::string& kind = cate->get_ref<const std::string&>();
    if ((index == 0) != (kind == "memory"))
      return Fail(index == 0 ? "first record is not the memory record" : "second memory record");

    if (kind == "memory") {
      if (!HasKeys({"cate", "old", "new", "tot"})) return false;
      if (!ParseCount(Text("old"), report.memOld) || !ParseCount(Text("new"), report.memNew) ||
          !ParseCount(Text("tot"), report.memTotal))
        return Fail("bad number");
    } else if (kind == "clean") {
      if (!HasKeys({"cate", "file", "state"})) return false;
      const std::string& state = Text("state");
      ProcessOutcome outcome;
      if (state == "1") outcome = ProcessOutcome::Kept;
      else if (state == "-2") outcome = ProcessOutcome::StillRunning;
      else if (state == "-1") outcome = ProcessOutcome::Ended;
      else return Fail("bad state");
      report.processes.push_back({Text("file"), outcome});
    } else if (kind == "start") {
      if (!HasKeys({"cate", "item", "from"}, "enabled")) return false;
      StartRecord start{Text("item"), Text("from"), SwitchState::Unknown};
      if (!IsSourceName(start.from)) return Fail("bad source");
      if (record.contains("enabled")) {
        const std::string& on = Text("enabled");
        if (on == "1") start.state = SwitchState::On;
        else if (on == "0") start.state = SwitchState::Off;
        else return Fail("bad switch state");
      }
      report.startups.push_back(std::move(start));
    } else if (kind == "install") {
      if (!HasKeys({"cate", "displayname", "publisher"})) return false;
      report.installs.push_back({Text("displayname"), Text("publisher")});
    } else {
      return Fail("unknown kind");
    }
    return true;
  }
};

}  // namespace

bool UsageReport::operator==(const UsageReport& other) const {
  auto sameProcesses = [](const ProcessRecord& a, const ProcessRecord& b) {
    return a.file == b.file && a.outcome == b.outcome;
  };
  auto sameStarts = [](const StartRecord& a, const StartRecord& b) {
    return a.item == b.item && a.from == b.from && a.state == b.state;
  };
  auto sameInstalls = [](const InstallRecord& a, const InstallRecord& b) {
    return a.name == b.name && a.publisher == b.publisher;
  };
  return memOld == other.memOld && memNew == other.memNew && memTotal == other.memTotal &&
         std::equal(processes.begin(), processes.end(), other.processes.begin(),
                    other.processes.end(), sameProcesses) &&
         std::equal(startups.begin(), startups.end(), other.startups.begin(),
                    other.startups.end(), sameStarts) &&
         std::equal(installs.begin(), installs.end(), other.installs.begin(),
                    other.installs.end(), sameInstalls);
}

std::optional<UsageReport> ParseReport(std::string_view body, std::string& error,
                                       const ReportLimits& limits) {
  if (body.size() > limits.maxBody) {
    error = "report too large";
    return std::nullopt;
  }
  std::string text;
  if (!Prepare(body, text, error)) return std::nullopt;
  json root = json::parse(text, nullptr, false);
  if (root.is_discarded()) {
    error = "not JSON";
    return std::nullopt;
  }
  if (!root.is_array()) {
    error = "not an array";
    return std::nullopt;
  }
  if (root.empty()) {
    error = "no memory record";
    return std::nullopt;
  }
  if (root.size() > limits.maxRecords) {
    error = "too many records";
    return std::nullopt;
  }

  UsageReport report;
  for (size_t i = 0; i < root.size(); ++i) {
    RecordReader reader{root[i], i, limits, error};
    if (!reader.ReadInto(report)) return std::nullopt;
  }
  return report;
}

std::string WriteReport(const UsageReport& report) {
  using ordered = nlohmann::ordered_json;
  ordered records = ordered::array();
  records.push_back({{"cate", "memory"},
                     {"old", std::to_string(report.memOld)},
                     {"new", std::to_string(report.memNew)},
                     {"tot", std::to_string(report.memTotal)}});
  for (const auto& p : report.processes)
    records.push_back({{"cate", "clean"},
                       {"file", p.file},
                       {"state", std::to_string(static_cast<int>(p.outcome))}});
  for (const auto& s : report.startups) {
    ordered record = {{"cate", "start"}, {"item", s.item}, {"from", s.from}};
    if (s.state != SwitchState::Unknown)
      record["enabled"] = s.state == SwitchState::On ? "1" : "0";
    records.push_back(std::move(record));
  }
  for (const auto& i : report.installs)
    records.push_back({{"cate", "install"}, {"displayname", i.name}, {"publisher", i.publisher}});
  return records.dump(-1, ' ', true);
}

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

bool IsEntrySource(std::string_view lowerSource) {
  return lowerSource == "hklm" || lowerSource == "hkcu" || lowerSource == "file" ||
         lowerSource == "sche" || lowerSource == "serv";
}

EntryKey EntryKeyOf(const StartRecord& record) {
  size_t cut = record.item.find_last_of("\\:");
  std::string_view name = record.item;
  if (cut != std::string::npos) name.remove_prefix(cut + 1);
  return {LowerAscii(record.from), LowerAscii(name)};
}

}  // namespace tidora::server
