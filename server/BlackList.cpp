#include "BlackList.h"

#include <nlohmann/json.hpp>

#include "Report.h"

namespace tidora::server {

namespace {

// resources/name_black.txt, as the program carries it.
constexpr std::string_view kBuiltIn =
#include "NameBlack.inc"
    ;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.remove_suffix(1);
  return text;
}

}  // namespace

BlackList::BlackList(std::string_view listText) {
  if (listText.substr(0, 3) == "\xEF\xBB\xBF") listText.remove_prefix(3);
  while (!listText.empty()) {
    size_t end = listText.find_first_of("\r\n");
    Add(listText.substr(0, end));
    if (end == std::string_view::npos) break;
    listText.remove_prefix(end + 1);
  }
}

BlackList BlackList::Load(const std::map<std::string, std::string>& settings) {
  BlackList list(kBuiltIn);
  auto added = settings.find("name_black");
  if (added == settings.end()) return list;
  auto json = nlohmann::json::parse(added->second, nullptr, false);
  if (!json.is_array()) return list;
  for (const auto& item : json)
    if (item.is_string()) list.Add(item.get_ref<const std::string&>());
  return list;
}

void BlackList::Add(std::string_view entry) {
  entry = Trim(entry);
  // Empty rows and "//" remarks match nothing, as in the program.
  if (entry.empty() || entry.substr(0, 2) == "//") return;
  prefixes_.push_back(LowerAscii(entry));
}

bool BlackList::Matches(std::string_view displayName) const {
  std::string name = LowerAscii(displayName);
  for (const auto& prefix : prefixes_)
    if (name.compare(0, prefix.size(), prefix) == 0) return true;
  return false;
}

}  // namespace tidora::server
