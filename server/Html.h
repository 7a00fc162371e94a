#pragma once
// Building blocks of the service's pages: escaping, the two languages, the
// page frame and the small number and date formats the pages share.
#include <cstdint>
#include <string>
#include <string_view>

namespace tidora::server {

enum class Lang { En, Ko };

// The language the browser prefers among Korean and English (English when it
// names neither).
Lang PickLanguage(std::string_view acceptLanguage);

enum class Text {
  ServiceName, HomeLead, ReportTitle, Received, Memory, AvailBefore, AvailAfter, Total,
  Freed, UsedBefore, UsedAfter, Available, Used, Processes, Program, Outcome,
  OutcomeKept, OutcomeStillRunning, OutcomeEnded, Startups, Source, Target,
  Installs, Name, Publisher, EntryTitle, SeenIn, Users, SwitchedOff, NotReported,
  FirstSeen, LastSeen, SeenAs, NotSeenYet, NotFoundTitle, NotFoundLead, ReportOne, ReportMany,
  FreedLead, FreedLeadNone, ProcessLead, FreedOfTotal, Compare, OtherCleans, TheirMedian,
  ThisClean, MoreThanShare, TooFewToCompare, Kept, LeftRunning, ClosedNote, KeptNote,
  RunningNote, NoneOfThem, StartupsLead, UsersWithIt, ShareValue, FewerThanMin, AddOnsLead,
  AddOn, BlackListed, EntryShare, ShareOfCount, TooFewUsers, WeeklyReports, WeeksAgo,
  ThisWeek, HiddenTargets, UserCount,
  Count,
};
const char* Say(Lang lang, Text text);

// printf into a string; the phrases use positional arguments (%1$s) where
// the two languages order them differently.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "12,345".
std::string FormatCount(int64_t count);
// "6.3%" of part in whole; "0%" when whole is not positive.
std::string FormatPercent(double part, double whole);
// "2024-05-01" for a whole UTC day since 1970.
std::string FormatDay(int64_t day);

// Text made safe for element content and quoted attribute values. Control
// characters other than tab and line breaks become U+FFFD.
std::string Escape(std::string_view text);

// One path segment of an address, percent-encoded but for unreserved bytes.
std::string EncodeSegment(std::string_view text);

// "1.5 GB", "512 MB", "0 B" (units of 1024).
std::string FormatBytes(int64_t bytes);
// "2024-05-01 12:34 UTC".
std::string FormatTime(int64_t secondsSince1970);

// The frame around a page's body: doctype, language, viewport, style.
std::string PageStart(Lang lang, std::string_view title);
std::string PageEnd();

}  // namespace tidora::server
