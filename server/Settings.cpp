#include "Settings.h"

#include <nlohmann/json.hpp>

#include "Store.h"

namespace tidora::server {

namespace {

using nlohmann::json;

constexpr size_t kMaxAddress = 2048;
constexpr size_t kMaxNoticeValue = 1024;
constexpr size_t kMaxListItems = 1000;
constexpr size_t kMaxListItem = 260;

const char* const kOrder[] = {"update", "notify", "info", "file_white", "name_white",
                              "name_black"};

bool IsList(const std::string& name) {
  return name == "file_white" || name == "name_white" || name == "name_black";
}

bool IsSettingName(const std::string& name) {
  for (const char* known : kOrder)
    if (name == known) return true;
  return false;
}

// The program cuts these values out of the reply text up to the next quote
// that follows no backslash, so a value ending in one (written \\ before its
// closing quote) would be read on past its end.
bool EndsInBackslash(const std::string& text) { return !text.empty() && text.back() == '\\'; }

bool IsAddress(const std::string& text) {
  return text.rfind("https://", 0) == 0 || text.rfind("http://", 0) == 0;
}

bool CheckValue(const std::string& name, const json& value, std::string& error) {
  if (name == "update" || name == "notify") {
    if (!value.is_string() || value.get_ref<const std::string&>().size() > kMaxAddress ||
        !IsAddress(value.get_ref<const std::string&>()) ||
        EndsInBackslash(value.get_ref<const std::string&>())) {
      error = name + " must be an http or https address not ending in a backslash";
      return false;
    }
    return true;
  }
  if (name == "info") {
    if (!value.is_object()) {
      error = "info must be a JSON object";
      return false;
    }
    for (const auto& member : value.items()) {
      const std::string& key = member.key();
      if (key != "style" && key != "text" && key != "flag" && key != "url") {
        error = "info has no member " + key;
        return false;
      }
      // The program cuts "info" at its first closing brace.
      if (!member.value().is_string() ||
          member.value().get_ref<const std::string&>().size() > kMaxNoticeValue ||
          member.value().get_ref<const std::string&>().find('}') != std::string::npos ||
          EndsInBackslash(member.value().get_ref<const std::string&>())) {
        error = "info." + key + " must be a short string without } or a final backslash";
        return false;
      }
    }
    return true;
  }
  if (IsList(name)) {
    if (!value.is_array() || value.size() > kMaxListItems) {
      error = name + " must be a JSON array of at most 1000 strings";
      return false;
    }
    for (const auto& item : value)
      if (!item.is_string() || item.get_ref<const std::string&>().empty() ||
          item.get_ref<const std::string&>().size() > kMaxListItem) {
        error = name + " items must be strings of 1 to 260 bytes";
        return false;
      }
    return true;
  }
  error = "unknown setting " + name;
  return false;
}

}  // namespace

bool CheckSetting(const std::string& name, const std::string& jsonValue, std::string& out,
                  std::string& error) {
  json value = json::parse(jsonValue, nullptr, false);
  if (value.is_discarded()) {
    error = name + " is not valid JSON";
    return false;
  }
  if (!CheckValue(name, value, error)) return false;
  out = value.dump();
  return true;
}

bool ParseSetting(const std::string& assignment, std::string& name, std::string& out,
                  std::string& error) {
  size_t eq = assignment.find('=');
  if (eq == std::string::npos) {
    error = "a setting is NAME=VALUE";
    return false;
  }
  name = assignment.substr(0, eq);
  std::string value = assignment.substr(eq + 1);
  if (value.empty()) {
    if (!IsSettingName(name)) {
      error = "unknown setting " + name;
      return false;
    }
    out.clear();
    return true;
  }
  if (name == "update" || name == "notify") return CheckSetting(name, json(value).dump(), out, error);
  return CheckSetting(name, value, out, error);
}

std::string InitReply(const std::map<std::string, std::string>& settings) {
  nlohmann::ordered_json reply = nlohmann::ordered_json::object();
  for (const char* name : kOrder) {
    auto found = settings.find(name);
    if (found == settings.end()) continue;
    json value = json::parse(found->second, nullptr, false);
    std::string error;
    // A value that no longer passes the check is left out, not sent broken.
    if (value.is_discarded() || !CheckValue(name, value, error)) continue;
    reply[name] = value;
  }
  return reply.dump();
}

}  // namespace tidora::server

namespace tidora::server {

bool ApplySettings(Store& store, const std::string& fileText,
                   const std::vector<std::string>& assignments, std::string& error) {
  std::vector<std::pair<std::string, std::string>> changes;  // json "" clears
  if (!fileText.empty()) {
    json file = json::parse(fileText, nullptr, false);
    if (file.is_discarded() || !file.is_object()) {
      error = "the settings file must hold one JSON object";
      return false;
    }
    for (const auto& member : file.items()) {
      std::string value;
      if (member.value().is_null()) {
        if (!IsSettingName(member.key())) {
          error = "unknown setting " + member.key();
          return false;
        }
      } else if (!CheckSetting(member.key(), member.value().dump(), value, error)) {
        return false;
      }
      changes.emplace_back(member.key(), value);
    }
  }
  for (const std::string& assignment : assignments) {
    std::string name, value;
    if (!ParseSetting(assignment, name, value, error)) return false;
    changes.emplace_back(name, value);
  }
  store.ChangeSettings(changes);
  return true;
}

}  // namespace tidora::server
