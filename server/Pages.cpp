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

// A scrolling two-column table; the caller adds the rows and TableEnd.
std::string TableStart(Lang lang, Text first, Text second) {
  return "<div class=\"scroll\"><table><thead><tr>" + Tag("th", Say(lang, first)) +
         Tag("th", Say(lang, second)) + "</tr></thead><tbody>";
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

struct OutcomeLook {
  Text text;
  const char* cls;
};

OutcomeLook LookOf(ProcessOutcome outcome) {
  switch (outcome) {
    case ProcessOutcome::Ended: return {Text::OutcomeEnded, "ended"};
    case ProcessOutcome::StillRunning: return {Text::OutcomeStillRunning, "running"};
    case ProcessOutcome::Kept: break;
  }
  return {Text::OutcomeKept, "kept"};
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

std::string RenderReport(const StoredReport& stored, Lang lang) {
  const UsageReport& report = stored.report;
  std::string page = PageStart(lang, Say(lang, Text::ReportTitle));
  page += Tag("h1", Say(lang, Text::ReportTitle));
  page += "<p class=\"muted\">" + Escape(Say(lang, Text::Received)) + ": " +
          Escape(FormatTime(stored.origin.received)) + "</p>";

  page += "<section id=\"memory\">" + Tag("h2", Say(lang, Text::Memory));
  page += MemoryChart(report.memOld, report.memNew, report.memTotal, lang);
  page += "<dl>";
  page += Fact(lang, Text::AvailBefore, FormatBytes(report.memOld));
  page += Fact(lang, Text::AvailAfter, FormatBytes(report.memNew));
  page += Fact(lang, Text::Freed, SignedBytes(report.memNew - report.memOld));
  page += Fact(lang, Text::Total, FormatBytes(report.memTotal));
  page += "</dl></section>";

  size_t ended = 0, running = 0;
  for (const auto& p : report.processes) {
    ended += p.outcome == ProcessOutcome::Ended;
    running += p.outcome == ProcessOutcome::StillRunning;
  }
  page += "<section id=\"processes\">" + Tag("h2", Say(lang, Text::Processes));
  page += "<dl>";
  page += Fact(lang, Text::OutcomeEnded, std::to_string(ended));
  page += Fact(lang, Text::OutcomeStillRunning, std::to_string(running));
  page += Fact(lang, Text::OutcomeKept,
               std::to_string(report.processes.size() - ended - running));
  page += "</dl>" + TableStart(lang, Text::Program, Text::Outcome);
  for (const auto& p : report.processes) {
    OutcomeLook look = LookOf(p.outcome);
    page += "<tr>" + Tag("td", p.file, "path") + Tag("td", Say(lang, look.text), look.cls) +
            "</tr>";
  }
  page += std::string(kTableEnd) + "</section>";

  if (!report.startups.empty()) {
    page += "<section id=\"startups\">" + Tag("h2", Say(lang, Text::Startups));
    page += TableStart(lang, Text::Target, Text::Source);
    for (const auto& s : report.startups)
      page += "<tr><td class=\"path\"><a href=\"" + Escape(EntryLink(s)) + "\">" +
              Escape(s.item) + "</a></td>" + Tag("td", s.from) + "</tr>";
    page += std::string(kTableEnd) + "</section>";
  }
  if (!report.installs.empty()) {
    page += "<section id=\"installs\">" + Tag("h2", Say(lang, Text::Installs));
    page += TableStart(lang, Text::Name, Text::Publisher);
    for (const auto& i : report.installs)
      page += "<tr>" + Tag("td", i.name) + Tag("td", i.publisher) + "</tr>";
    page += std::string(kTableEnd) + "</section>";
  }
  return page + PageEnd();
}

std::string RenderEntry(const std::string& source, const std::string& name,
                        const EntryStats& stats, Lang lang) {
  std::string title = std::string(Say(lang, Text::EntryTitle)) + ": " + name;
  std::string page = PageStart(lang, title);
  page += Tag("h1", name);
  page += "<p class=\"muted\">" + Escape(Say(lang, Text::EntryTitle)) + " · " +
          Escape(source) + "</p><section id=\"entry\">";
  if (stats.reports == 0) {
    page += Tag("p", Say(lang, Text::NotSeenYet));
    return page + "</section>" + PageEnd();
  }
  page += "<dl>";
  page += Fact(lang, Text::SeenIn, Reports(lang, stats.reports));
  page += Fact(lang, Text::Users, std::to_string(stats.users));
  page += Fact(lang, Text::SwitchedOff,
               stats.switchKnown == 0
                   ? std::string(Say(lang, Text::NotReported))
                   : std::to_string(stats.switchedOff) + " / " +
                         Reports(lang, stats.switchKnown));
  page += Fact(lang, Text::FirstSeen, FormatTime(stats.firstSeen));
  page += Fact(lang, Text::LastSeen, FormatTime(stats.lastSeen));
  page += "</dl>";
  page += Tag("h2", Say(lang, Text::SeenAs));
  page += "<div class=\"scroll\"><table><tbody>";
  for (const auto& [target, seen] : stats.targets)
    page += "<tr>" + Tag("td", target, "path") + Tag("td", Reports(lang, seen), "count") + "</tr>";
  page += std::string(kTableEnd) + "</section>";
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
