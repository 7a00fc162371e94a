#pragma once
// The black list of unwanted add-ons the Bundle page offers to remove: the
// list the program carries, plus the additions the service hands out in its
// init reply ("name_black"). Matching is the program's name mode: an entry is
// a prefix of the display name, letter case aside.
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tidora::server {

class BlackList {
 public:
  // The built-in list plus the "name_black" setting among `settings`
  // (name -> JSON text, as the store keeps them); a malformed setting adds
  // nothing.
  static BlackList Load(const std::map<std::string, std::string>& settings);
  explicit BlackList(std::string_view listText);

  void Add(std::string_view entry);
  bool Matches(std::string_view displayName) const;

 private:
  std::vector<std::string> prefixes_;  // trimmed, ASCII letters lower-cased
};

}  // namespace tidora::server
