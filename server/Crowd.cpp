#include "Crowd.h"

#include <algorithm>

namespace tidora::server {

int64_t WindowStartDay(int64_t now) { return DayOf(now) - (kWindowDays - 1); }

Share ShareOf(int64_t users, int64_t of) {
  return {users, of, users >= kMinUsers && of >= users && of > 0};
}

ProcessGroups GroupProcesses(const UsageReport& report) {
  ProcessGroups groups;
  for (const auto& p : report.processes) {
    switch (p.outcome) {
      case ProcessOutcome::Ended: groups.closed.push_back(&p); break;
      case ProcessOutcome::StillRunning: groups.running.push_back(&p); break;
      case ProcessOutcome::Kept: groups.kept.push_back(&p); break;
    }
  }
  return groups;
}

ReportFigures StudyReport(const Store& store, const StoredReport& stored,
                          const BlackList& blackList, int64_t now) {
  const UsageReport& report = stored.report;
  const int64_t sinceDay = WindowStartDay(now);
  ReportFigures figures;
  figures.groups = GroupProcesses(report);

  FreedStanding standing =
      store.CompareFreed(stored.id, report.memNew - report.memOld, sinceDay * kSecondsPerDay);
  if (standing.users >= kMinUsers) figures.standing = standing;

  if (!report.startups.empty()) {
    std::vector<std::string> keys{""};
    for (const auto& s : report.startups) keys.push_back(CrowdKeyOf(EntryKeyOf(s)));
    auto listUsers = store.CrowdUsers(CrowdKind::StartupLists, {keys[0]}, sinceDay);
    keys.erase(keys.begin());
    auto users = store.CrowdUsers(CrowdKind::Startup, keys, sinceDay);
    for (size_t i = 0; i < report.startups.size(); ++i)
      figures.entries.push_back({&report.startups[i], ShareOf(users[i], listUsers[0])});
    // The ones least likely to be recognised first: those too rare to show
    // a figure, then by how few have them.
    std::stable_sort(figures.entries.begin(), figures.entries.end(),
                     [](const EntryFigure& a, const EntryFigure& b) {
                       int64_t ua = a.share.shown ? a.share.users : 0;
                       int64_t ub = b.share.shown ? b.share.users : 0;
                       return ua < ub;
                     });
  }

  if (!report.installs.empty()) {
    std::vector<std::string> addOnKeys;
    for (const auto& i : report.installs)
      if (blackList.Matches(i.name)) addOnKeys.push_back(CrowdKeyOf(i));
    std::vector<int64_t> users, listUsers{0};
    if (!addOnKeys.empty()) {
      users = store.CrowdUsers(CrowdKind::Install, addOnKeys, sinceDay);
      listUsers = store.CrowdUsers(CrowdKind::InstallLists, {""}, sinceDay);
    }
    size_t next = 0;
    for (const auto& i : report.installs) {
      if (!blackList.Matches(i.name)) continue;
      figures.programs.push_back({&i, true, ShareOf(users[next++], listUsers[0])});
    }
    for (const auto& i : report.installs)
      if (!blackList.Matches(i.name)) figures.programs.push_back({&i, false, {}});
  }
  return figures;
}

EntryFigures StudyEntry(const Store& store, const std::string& source, const std::string& name,
                        int64_t now) {
  EntryFigures figures;
  figures.stats = store.LoadEntry(source, name, WindowStartDay(now), DayOf(now), kChartWeeks);
  figures.enough = figures.stats.users >= kMinUsers;
  figures.share = ShareOf(figures.stats.recentUsers, figures.stats.listUsers);
  for (auto& target : figures.stats.targets) {
    if (target.users >= kMinUsers) figures.targets.push_back(std::move(target));
    else ++figures.hiddenTargets;
  }
  figures.stats.targets.clear();
  return figures;
}

}  // namespace tidora::server
