#include "Html.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace tidora::server {

namespace {

struct Phrase {
  const char* en;
  const char* ko;
};

// Indexed by Text.
const Phrase kPhrases[] = {
    {"Tidora service", "Tidora 서비스"},
    {"Reports of Tidora's cleaning runs are shown here. Open the address Tidora gave you.",
     "Tidora 정리 결과 보고서를 보여 주는 곳입니다. Tidora가 열어 준 주소로 들어오세요."},
    {"Cleaning report", "정리 보고서"},
    {"Received", "받은 시각"},
    {"Memory", "메모리"},
    {"Available before", "정리 전 사용 가능"},
    {"Available after", "정리 후 사용 가능"},
    {"Total", "전체"},
    {"Freed", "확보한 메모리"},
    {"Before", "정리 전"},
    {"After", "정리 후"},
    {"available", "사용 가능"},
    {"in use", "사용 중"},
    {"Processes", "프로세스"},
    {"Program", "프로그램"},
    {"Outcome", "결과"},
    {"Kept", "유지"},
    {"Still running", "아직 실행 중"},
    {"Closed", "종료됨"},
    {"Startup entries", "자동실행 항목"},
    {"Source", "위치"},
    {"Target", "대상"},
    {"Installed programs", "설치된 프로그램"},
    {"Name", "이름"},
    {"Publisher", "게시자"},
    {"Startup entry", "자동실행 항목"},
    {"Seen in", "나타난 보고서"},
    {"Users", "사용자"},
    {"Switched off", "사용 안 함"},
    {"not reported", "알 수 없음"},
    {"First seen", "처음 본 날"},
    {"Last seen", "마지막으로 본 날"},
    {"Seen as", "보고된 대상"},
    {"No report has listed this entry yet.", "아직 이 항목이 나온 보고서가 없습니다."},
    {"Not found", "찾을 수 없음"},
    {"There is no such page or report.", "그런 페이지나 보고서가 없습니다."},
    {"%lld report", "%lld건"},
    {"%lld reports", "%lld건"},
    {"Tidora freed %1$s of memory: %2$s of the total %3$s.",
     "메모리를 %1$s 확보했습니다. 전체 %3$s의 %2$s입니다."},
    {"Available memory did not grow during this clean (%1$s).",
     "이번 정리로 사용 가능한 메모리가 늘지 않았습니다(%1$s)."},
    {"It closed %1$lld programs, kept %2$lld protected ones and could not close %3$lld.",
     "프로그램 %1$lld개를 종료했고, 보호 목록의 %2$lld개는 그대로 두었으며, %3$lld개는 종료하지 못했습니다."},
    {"%1$s (%2$s of the total)", "%1$s (전체의 %2$s)"},
    {"Compared with other cleans", "다른 정리와 비교"},
    {"Other cleans in the last 30 days", "최근 30일 다른 정리"},
    {"Their median freed memory", "확보한 메모리 중간값"},
    {"This clean", "이번 정리"},
    {"freed more than %1$s of them", "그중 %1$s보다 많이 확보"},
    {"Too few other cleans in the last 30 days to compare with.",
     "최근 30일 동안 비교할 다른 정리가 충분하지 않습니다."},
    {"Kept by protection", "보호 목록이라 유지"},
    {"Left running", "종료하지 못함"},
    {"Programs Tidora ended.", "Tidora가 종료한 프로그램입니다."},
    {"On a protection list (Windows, security software or your NoClean.txt), so left alone.",
     "보호 목록(Windows, 보안 프로그램 또는 NoClean.txt)에 있어 그대로 둔 프로그램입니다."},
    {"Tidora asked these to end, but they were still running.",
     "종료를 요청했지만 아직 실행 중인 프로그램입니다."},
    {"None.", "없습니다."},
    {"How many of the %1$s users who sent their startup entries in the last 30 days have each "
     "one. Rare ones stand first: look at those you do not recognise.",
     "최근 30일 동안 자동실행 항목을 보낸 사용자 %1$s명 중 각 항목을 가진 사용자의 비율입니다. "
     "드문 항목이 먼저 나옵니다. 모르는 항목이 있으면 살펴보세요."},
    {"Users with it", "가진 사용자"},
    {"%1$s (%2$s users)", "%1$s (%2$s명)"},
    {"fewer than 5 users", "5명 미만"},
    {"Marked: add-ons on Tidora's black list, which its Bundle page offers to remove.",
     "표시된 프로그램은 Tidora의 강제설치 페이지에서 삭제할 수 있는 추가 프로그램입니다."},
    {"Add-on", "강제설치"},
    {"Black list", "강제설치 목록"},
    {"Users with it (last 30 days)", "가진 사용자(최근 30일)"},
    {"%1$s (%2$s of %3$s users)", "%1$s (%3$s명 중 %2$s명)"},
    {"Fewer than 5 users have reported this entry, so no figures are shown.",
     "이 항목을 보고한 사용자가 5명 미만이라 수치를 보여 주지 않습니다."},
    {"Reports per week", "주별 보고서"},
    {"%1$lld weeks ago", "%1$lld주 전"},
    {"this week", "이번 주"},
    {"%1$s more targets, each seen by fewer than 5 users, are not shown.",
     "사용자 5명 미만에게서 나온 대상 %1$s개는 보여 주지 않습니다."},
    {"%1$s users", "%1$s명"},
};
static_assert(sizeof(kPhrases) / sizeof(kPhrases[0]) == static_cast<size_t>(Text::Count),
              "one phrase per text");

constexpr const char* kStyle =
    "body{margin:0;font:16px/1.5 system-ui,-apple-system,'Segoe UI','Malgun Gothic',"
    "'NanumGothic',sans-serif;color:#222;background:#f6f7f9}"
    "header{background:#1d5fa8;color:#fff;padding:.6rem 1rem;font-weight:600}"
    "main{max-width:56rem;margin:0 auto;padding:1rem}"
    "h1{font-size:1.4rem;margin:.2rem 0 .8rem}h2{font-size:1.15rem;margin:1.4rem 0 .5rem}"
    "section{background:#fff;border:1px solid #dde1e6;border-radius:8px;padding:.8rem 1rem;"
    "margin-bottom:1rem}section>h2:first-child{margin-top:0}"
    ".scroll{overflow-x:auto}"
    "table{border-collapse:collapse;width:100%}"
    "th,td{text-align:left;padding:.35rem .5rem;border-bottom:1px solid #eceff3;"
    "vertical-align:top}"
    "td.path{word-break:break-all;font-family:Consolas,monospace;font-size:.9rem}"
    "dl{display:grid;grid-template-columns:max-content 1fr;gap:.2rem 1rem;margin:0}"
    "dt{color:#555}dd{margin:0;font-weight:600}"
    ".ended{color:#1a7f37}.running{color:#b35900}.kept{color:#555}"
    ".ended,.running,.kept,.count{white-space:nowrap}"
    ".muted{color:#666}svg{max-width:100%;height:auto}"
    ".lead{font-size:1.05rem;margin:.2rem 0 1rem}"
    "h3{font-size:1rem;margin:1rem 0 .3rem}h3 .n{color:#555;font-weight:400}"
    ".note{color:#555;font-size:.9rem;margin:.1rem 0 .4rem}"
    ".addon{background:#fff4e5}.mark{color:#b35900;font-weight:600;white-space:nowrap}"
    ".rare{color:#b35900}.share{white-space:nowrap}";

}  // namespace

Lang PickLanguage(std::string_view header) {
  Lang best = Lang::En;
  double bestQ = -1;
  while (!header.empty()) {
    size_t comma = header.find(',');
    std::string_view item = header.substr(0, comma);
    header = comma == std::string_view::npos ? std::string_view() : header.substr(comma + 1);

    size_t semi = item.find(';');
    std::string_view tag = item.substr(0, semi);
    while (!tag.empty() && tag.front() == ' ') tag.remove_prefix(1);
    while (!tag.empty() && tag.back() == ' ') tag.remove_suffix(1);
    double q = 1.0;
    if (semi != std::string_view::npos) {
      std::string params(item.substr(semi + 1));
      size_t at = params.find("q=");
      if (at != std::string::npos) q = std::atof(params.c_str() + at + 2);
    }
    std::string primary;
    for (char c : tag.substr(0, tag.find('-')))
      primary += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // Ties go to the first named, as the browser lists its preference first.
    if ((primary == "ko" || primary == "en") && q > bestQ && q > 0) {
      best = primary == "ko" ? Lang::Ko : Lang::En;
      bestQ = q;
    }
  }
  return best;
}

const char* Say(Lang lang, Text text) {
  const Phrase& phrase = kPhrases[static_cast<size_t>(text)];
  return lang == Lang::Ko ? phrase.ko : phrase.en;
}

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') ||
            c == 0x7F)
          out += "\xEF\xBF\xBD";
        else
          out += c;
    }
  }
  return out;
}

std::string EncodeSegment(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string FormatBytes(int64_t bytes) {
  static const char* const kUnits[] = {"B", "KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  size_t unit = 0;
  while ((value >= 1024 || value <= -1024) && unit + 1 < sizeof(kUnits) / sizeof(kUnits[0])) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  if (unit == 0 || value >= 100 || value <= -100)
    std::snprintf(text, sizeof text, "%.0f %s", value, kUnits[unit]);
  else
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string FormatTime(int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (!gmtime_r(&t, &tm)) return "";
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &tm);
  return text;
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char small[256];
  int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (needed < 0) return "";
  if (static_cast<size_t>(needed) < sizeof small) return std::string(small, needed);
  std::string text(static_cast<size_t>(needed) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  text.resize(static_cast<size_t>(needed));
  return text;
}

std::string FormatCount(int64_t count) {
  std::string digits = std::to_string(count < 0 ? -count : count);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return count < 0 ? "-" + out : out;
}

std::string FormatPercent(double part, double whole) {
  if (whole <= 0) return "0%";
  double percent = part / whole * 100;
  char text[32];
  if (percent > 0 && percent < 0.1) return "<0.1%";
  std::snprintf(text, sizeof text, percent >= 10 || percent <= -10 ? "%.0f%%" : "%.1f%%",
                percent);
  return text;
}

std::string FormatDay(int64_t day) {
  std::string time = FormatTime(day * 86400);
  return time.substr(0, time.find(' '));
}

std::string PageStart(Lang lang, std::string_view title) {
  std::string page = "<!DOCTYPE html>\n<html lang=\"";
  page += lang == Lang::Ko ? "ko" : "en";
  page += "\"><head><meta charset=\"utf-8\">"
          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
          "<meta name=\"referrer\" content=\"no-referrer\"><title>";
  page += Escape(title);
  page += "</title><style>";
  page += kStyle;
  page += "</style></head><body><header>";
  page += Escape(Say(lang, Text::ServiceName));
  page += "</header><main>";
  return page;
}

std::string PageEnd() { return "</main></body></html>\n"; }

}  // namespace tidora::server
