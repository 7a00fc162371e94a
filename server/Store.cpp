#include "Store.h"

#include "PostgresStore.h"
#include <tuple>

#include "SqliteStore.h"

namespace tidora::server {

std::string CrowdKeyOf(const EntryKey& entry) { return entry.source + "/" + entry.name; }
std::string CrowdKeyOf(const InstallRecord& install) { return LowerAscii(install.name); }

EntryDays::EntryDays(int64_t sinceDay, int64_t today, size_t weeks)
    : sinceDay_(sinceDay), today_(today), firstWeekDay_(today - static_cast<int64_t>(weeks) * 7 + 1) {
  stats_.weekly.assign(weeks, 0);
}

void EntryDays::Add(int64_t day, int64_t users, int64_t reports, int64_t told, int64_t off) {
  if (stats_.reports == 0 && reports > 0) stats_.firstDay = day;
  if (reports > 0) stats_.lastDay = day;
  stats_.users += users;
  stats_.reports += reports;
  stats_.switchKnown += told;
  stats_.switchedOff += off;
  if (day >= sinceDay_) stats_.recentUsers += users;
  if (day >= firstWeekDay_ && day <= today_)
    stats_.weekly[static_cast<size_t>((day - firstWeekDay_) / 7)] += reports;
}

std::vector<CrowdMark> CrowdMarksOf(const UsageReport& report) {
  std::map<std::tuple<CrowdKind, std::string, std::string>, CrowdMark> marks;
  auto mark = [&](CrowdKind kind, const std::string& key, const std::string& sub) -> CrowdMark& {
    auto [at, added] = marks.try_emplace({kind, key, sub});
    if (added) at->second = {kind, key, sub};
    return at->second;
  };
  if (!report.startups.empty()) mark(CrowdKind::StartupLists, "", "");
  for (const auto& s : report.startups) {
    std::string key = CrowdKeyOf(EntryKeyOf(s));
    CrowdMark& entry = mark(CrowdKind::Startup, key, "");
    entry.told |= s.state != SwitchState::Unknown;
    entry.off |= s.state == SwitchState::Off;
    mark(CrowdKind::Target, key, s.item);
  }
  if (!report.installs.empty()) mark(CrowdKind::InstallLists, "", "");
  for (const auto& i : report.installs) mark(CrowdKind::Install, CrowdKeyOf(i), "");
  std::vector<CrowdMark> out;
  out.reserve(marks.size());
  for (auto& [key, value] : marks) out.push_back(std::move(value));
  return out;
}

bool IsPostgresAddress(const std::string& location) {
  return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

std::unique_ptr<Store> OpenStore(const std::string& location, size_t connections) {
  if (IsPostgresAddress(location)) return std::make_unique<PostgresStore>(location, connections);
  return std::make_unique<SqliteStore>(location, connections);
}

}  // namespace tidora::server
