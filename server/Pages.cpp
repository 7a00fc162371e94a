#include "Pages.h"

#include <algorithm>
#include <cstdio>

namespace tidora::server {

namespace {

std::string Tag(const char* name, std::string_view text, const char* cls = nullptr) {
  std::string out = "<";
  out += name;
  if (cls) {
    out += " class=\"";
    out += cls;
    out += "\"";
  }
  out += ">";
  out += Escape(text);
  out += "</";
  out += name;
  out += ">";
  return out;
}

constexpr const char* kTableEnd = "</tbody></table></div>";

std::string Fact(Lang lang, Text label, std::string_view value) {
  return Tag("dt", Say(lang, label)) + Tag("dd", value);
}

std::string Reports(Lang lang, int64_t count) {
  char text[64];
  std::snprintf(text, sizeof text, Say(lang, count == 1 ? Text::ReportOne : Text::ReportMany),
                static_cast<long long>(count));
  return text;
}

std::string SignedBytes(int64_t bytes) {
  return (bytes > 0 ? "+" : "") + FormatBytes(bytes);
}

std::string EntryLink(const StartRecord& start) {
  EntryKey key = EntryKeyOf(start);
  return "/entry/" + EncodeSegment(key.source) + "/" + EncodeSegment(key.name);
}

std::string Bar(int y, Text label, int64_t avail, int64_t total, Lang lang) {
  constexpr int kLeft = 90, kWidth = 260, kHeight = 26;
  int64_t clamped = std::clamp<int64_t>(avail, 0, total);
  int used = static_cast<int>(static_cast<double>(total - clamped) / total * kWidth + 0.5);
  std::string svg;
  svg += "<text x=\"0\" y=\"" + std::to_string(y + 18) + "\" font-size=\"14\">" +
         Escape(Say(lang, label)) + "</text>";
  svg += "<rect x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
         std::to_string(used) + "\" height=\"" + std::to_string(kHeight) +
         "\" fill=\"#1d5fa8\"/>";
  svg += "<rect x=\"" + std::to_string(kLeft + used) + "\" y=\"" + std::to_string(y) +
         "\" width=\"" + std::to_string(kWidth - used) + "\" height=\"" +
         std::to_string(kHeight) + "\" fill=\"#cfe3f7\"/>";
  svg += "<text x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(y + kHeight + 15) +
         "\" font-size=\"12\" fill=\"#444\">" +
         Escape(FormatBytes(total - clamped) + " " + Say(lang, Text::Used) + " · " +
                FormatBytes(clamped) + " " + Say(lang, Text::Available)) +
         "</text>";
  return svg;
}

}  // namespace

std::string MemoryChart(int64_t availBefore, int64_t availAfter, int64_t total, Lang lang) {
  if (total <= 0) return "";
  std::string svg =
      "<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 360 110\" "
      "width=\"360\" height=\"110\" role=\"img\" aria-label=\"" +
      Escape(Say(lang, Text::Memory)) + "\">";
  svg += Bar(4, Text::UsedBefore, availBefore, total, lang);
  svg += Bar(60, Text::UsedAfter, availAfter, total, lang);
  svg += "</svg>";
  return svg;
}

std::string WeeklyChart(const std::vector<int64_t>& weekly, Lang lang) {
  constexpr int kBar = 22, kGap = 4, kHeight = 70, kTop = 14;
  const int width = static_cast<int>(weekly.size()) * (kBar + kGap);
  int64_t most = 1;
  for (int64_t n : weekly) most = std::max(most, n);
  std::string svg = "<svg class=\"weekly\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " +
                    std::to_string(width) + " " + std::to_string(kTop + kHeight + 18) +
                    "\" width=\"" + std::to_string(width) + "\" height=\"" +
                    std::to_string(kTop + kHeight + 18) + "\" role=\"img\" aria-label=\"" +
                    Escape(Say(lang, Text::WeeklyReports)) + "\">";
  for (size_t i = 0; i < weekly.size(); ++i) {
    int h = static_cast<int>(static_cast<double>(weekly[i]) / most * kHeight + 0.5);
    if (weekly[i] > 0) h = std::max(h, 1);
    int x = static_cast<int>(i) * (kBar + kGap);
    svg += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(kTop + kHeight - h) +
           "\" width=\"" + std::to_string(kBar) + "\" height=\"" + std::to_string(h) +
           "\" fill=\"#1d5fa8\"><title>" + Escape(Reports(lang, weekly[i])) + "</title></rect>";
    if (i + 1 == weekly.size() || weekly[i] == most)
      svg += "<text x=\"" + std::to_string(x + kBar / 2) + "\" y=\"" +
             std::to_string(kTop + kHeight - h - 3) +
             "\" font-size=\"10\" text-anchor=\"middle\" fill=\"#444\">" +
             std::to_string(weekly[i]) + "</text>";
  }
  if (!weekly.empty()) {
    const std::string y = std::to_string(kTop + kHeight + 14);
    svg += "<text x=\"0\" y=\"" + y + "\" font-size=\"11\" fill=\"#666\">" +
           Escape(Format(Say(lang, Text::WeeksAgo), static_cast<long long>(weekly.size() - 1))) +
           "</text><text x=\"" + std::to_string(width) + "\" y=\"" + y +
           "\" font-size=\"11\" fill=\"#666\" text-anchor=\"end\">" +
           Escape(Say(lang, Text::ThisWeek)) + "</text>";
  }
  return svg + "</svg>";
}

namespace {

std::string ShareText(Lang lang, const Share& share) {
  if (!share.shown) return Say(lang, Text::FewerThanMin);
  return Format(Say(lang, Text::ShareValue), FormatPercent(share.users, share.of).c_str(),
                FormatCount(share.users).c_str());
}

std::string ProcessGroup(Lang lang, Text title, Text note, const char* cls,
                         const std::vector<const ProcessRecord*>& group) {
  std::string html = "<div class=\"group\" id=\"" + std::string(cls) + "\"><h3>" +
                     Escape(Say(lang, title)) + " <span class=\"n\">(" +
                     std::to_string(group.size()) + ")</span></h3>";
  html += Tag("p", Say(lang, note), "note");
  if (group.empty()) return html + Tag("p", Say(lang, Text::NoneOfThem), "muted") + "</div>";
  html += "<div class=\"scroll\"><table><tbody>";
  for (const ProcessRecord* p : group) html += "<tr>" + Tag("td", p->file, "path") + "</tr>";
  return html + kTableEnd + "</div>";
}

std::string Comparison(Lang lang, const UsageReport& report,
                       const std::optional<FreedStanding>& standing) {
  std::string html = "<section id=\"compare\">" + Tag("h2", Say(lang, Text::Compare));
  if (!standing) return html + Tag("p", Say(lang, Text::TooFewToCompare), "muted") + "</section>";
  // Ties count half, so a clean equal to all the others stands in the middle.
  double above = standing->below + standing->equal / 2.0;
  html += "<dl>";
  html += Fact(lang, Text::OtherCleans, FormatCount(standing->others));
  html += Fact(lang, Text::TheirMedian, FormatBytes(standing->median));
  html += Fact(lang, Text::ThisClean,
               FormatBytes(report.memNew - report.memOld) + " · " +
                   Format(Say(lang, Text::MoreThanShare),
                          FormatPercent(above, static_cast<double>(standing->others)).c_str()));
  return html + "</dl></section>";
}

}  // namespace

std::string RenderReport(const StoredReport& stored, const ReportFigures& figures, Lang lang) {
  const UsageReport& report = stored.report;
  const int64_t freed = report.memNew - report.memOld;
  const ProcessGroups& groups = figures.groups;
  std::string page = PageStart(lang, Say(lang, Text::ReportTitle));
  page += Tag("h1", Say(lang, Text::ReportTitle));
  page += "<p class=\"muted\">" + Escape(Say(lang, Text::Received)) + ": " +
          Escape(FormatTime(stored.origin.received)) + "</p>";
  std::string lead =
      freed > 0 ? Format(Say(lang, Text::FreedLead), FormatBytes(freed).c_str(),
                         FormatPercent(freed, report.memTotal).c_str(),
                         FormatBytes(report.memTotal).c_str())
                : Format(Say(lang, Text::FreedLeadNone), SignedBytes(freed).c_str());
  lead += " " + Format(Say(lang, Text::ProcessLead),
                       static_cast<long long>(groups.closed.size()),
                       static_cast<long long>(groups.kept.size()),
                       static_cast<long long>(groups.running.size()));
  page += Tag("p", lead, "lead");

  page += "<section id=\"memory\">" + Tag("h2", Say(lang, Text::Memory));
  page += MemoryChart(report.memOld, report.memNew, report.memTotal, lang);
  page += "<dl>";
  page += Fact(lang, Text::AvailBefore, FormatBytes(report.memOld));
  page += Fact(lang, Text::AvailAfter, FormatBytes(report.memNew));
  page += Fact(lang, Text::Freed,
               Format(Say(lang, Text::FreedOfTotal), SignedBytes(freed).c_str(),
                      FormatPercent(freed, report.memTotal).c_str()));
  page += Fact(lang, Text::Total, FormatBytes(report.memTotal));
  page += "</dl></section>";
  page += Comparison(lang, report, figures.standing);

  page += "<section id=\"processes\">" + Tag("h2", Say(lang, Text::Processes));
  page += ProcessGroup(lang, Text::OutcomeEnded, Text::ClosedNote, "closed", groups.closed);
  page += ProcessGroup(lang, Text::Kept, Text::KeptNote, "kept", groups.kept);
  page += ProcessGroup(lang, Text::LeftRunning, Text::RunningNote, "running", groups.running);
  page += "</section>";

  if (!figures.entries.empty()) {
    int64_t senders = figures.entries.front().share.of;
    page += "<section id=\"startups\">" + Tag("h2", Say(lang, Text::Startups));
    page += Tag("p", Format(Say(lang, Text::StartupsLead), FormatCount(senders).c_str()), "note");
    page += "<div class=\"scroll\"><table><thead><tr>" + Tag("th", Say(lang, Text::Target)) +
            Tag("th", Say(lang, Text::Source)) + Tag("th", Say(lang, Text::UsersWithIt)) +
            "</tr></thead><tbody>";
    for (const auto& entry : figures.entries)
      page += "<tr><td class=\"path\"><a href=\"" + Escape(EntryLink(*entry.record)) + "\">" +
              Escape(entry.record->item) + "</a></td>" + Tag("td", entry.record->from) +
              Tag("td", ShareText(lang, entry.share), entry.share.shown ? "share" : "share rare") +
              "</tr>";
    page += std::string(kTableEnd) + "</section>";
  }
  if (!figures.programs.empty()) {
    bool anyAddOn = figures.programs.front().addOn;
    page += "<section id=\"installs\">" + Tag("h2", Say(lang, Text::Installs));
    if (anyAddOn) page += Tag("p", Say(lang, Text::AddOnsLead), "note");
    page += "<div class=\"scroll\"><table><thead><tr>" + Tag("th", Say(lang, Text::Name)) +
            Tag("th", Say(lang, Text::Publisher)) + Tag("th", Say(lang, Text::BlackListed)) +
            "</tr></thead><tbody>";
    for (const auto& program : figures.programs) {
      page += program.addOn ? "<tr class=\"addon\">" : "<tr>";
      page += Tag("td", program.record->name) + Tag("td", program.record->publisher);
      page += program.addOn ? "<td><span class=\"mark\">" + Escape(Say(lang, Text::AddOn)) +
                                  "</span> · " + Escape(ShareText(lang, program.share)) + "</td>"
                            : "<td></td>";
      page += "</tr>";
    }
    page += std::string(kTableEnd) + "</section>";
  }
  return page + PageEnd();
}

std::string RenderEntry(const std::string& source, const std::string& name,
                        const EntryFigures& figures, Lang lang) {
  const EntryStats& stats = figures.stats;
  std::string title = std::string(Say(lang, Text::EntryTitle)) + ": " + name;
  std::string page = PageStart(lang, title);
  page += Tag("h1", name);
  page += "<p class=\"muted\">" + Escape(Say(lang, Text::EntryTitle)) + " · " +
          Escape(source) + "</p><section id=\"entry\">";
  if (stats.reports == 0) {
    page += Tag("p", Say(lang, Text::NotSeenYet));
    return page + "</section>" + PageEnd();
  }
  if (!figures.enough) {
    page += Tag("p", Say(lang, Text::TooFewUsers));
    return page + "</section>" + PageEnd();
  }
  page += "<dl>";
  page += Fact(lang, Text::SeenIn, Reports(lang, stats.reports));
  page += Fact(lang, Text::Users, FormatCount(stats.users));
  page += Fact(lang, Text::EntryShare,
               figures.share.shown
                   ? Format(Say(lang, Text::ShareOfCount),
                            FormatPercent(figures.share.users, figures.share.of).c_str(),
                            FormatCount(figures.share.users).c_str(),
                            FormatCount(figures.share.of).c_str())
                   : std::string(Say(lang, Text::FewerThanMin)));
  page += Fact(lang, Text::SwitchedOff,
               stats.switchKnown == 0
                   ? std::string(Say(lang, Text::NotReported))
                   : std::to_string(stats.switchedOff) + " / " +
                         Reports(lang, stats.switchKnown));
  page += Fact(lang, Text::FirstSeen, FormatDay(stats.firstDay));
  page += Fact(lang, Text::LastSeen, FormatDay(stats.lastDay));
  page += "</dl>";
  page += Tag("h2", Say(lang, Text::WeeklyReports));
  page += WeeklyChart(stats.weekly, lang);
  page += Tag("h2", Say(lang, Text::SeenAs));
  page += "<div class=\"scroll\"><table><tbody>";
  for (const auto& target : figures.targets)
    page += "<tr>" + Tag("td", target.item, "path") +
            Tag("td", Format(Say(lang, Text::UserCount), FormatCount(target.users).c_str()),
                "count") +
            Tag("td", Reports(lang, target.reports), "count") + "</tr>";
  page += kTableEnd;
  if (figures.hiddenTargets > 0)
    page += Tag("p",
                Format(Say(lang, Text::HiddenTargets),
                       FormatCount(static_cast<int64_t>(figures.hiddenTargets)).c_str()),
                "note");
  page += "</section>";
  return page + PageEnd();
}

std::string RenderHome(Lang lang) {
  return PageStart(lang, Say(lang, Text::ServiceName)) +
         Tag("h1", Say(lang, Text::ServiceName)) + Tag("p", Say(lang, Text::HomeLead)) +
         PageEnd();
}

std::string RenderNotFound(Lang lang) {
  return PageStart(lang, Say(lang, Text::NotFoundTitle)) +
         Tag("h1", Say(lang, Text::NotFoundTitle)) + Tag("p", Say(lang, Text::NotFoundLead)) +
         PageEnd();
}

}  // namespace tidora::server
