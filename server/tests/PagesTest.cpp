// The report and entry pages, fetched from a real server.
#include <gtest/gtest.h>

#include "Html.h"
#include "Ids.h"
#include "Support.h"

namespace tidora::server::test {
namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

constexpr int64_t kReceived = 1714567890;  // 2024-05-01 12:51 UTC

ServiceConfig AnHourLater() {
  ServiceConfig config;
  config.clock = [] { return kReceived + 3600; };
  return config;
}

// The text between the element whose attribute is `marker` and the next
// closing tag `end`.
std::string Part(const std::string& html, const std::string& marker, const std::string& end) {
  size_t at = html.find(marker);
  if (at == std::string::npos) return "";
  return html.substr(at, html.find(end, at) - at);
}

class PagesTest : public ::testing::Test {
 protected:
  std::string Add(const UsageReport& report, const std::string& user = "U1") {
    return service.Data().AddReport(report, {"1.0.0.1", user, kReceived});
  }
  httplib::Result Fetch(const std::string& path, const std::string& language = "en") {
    return client.Get(path, {{"Accept-Language", language}});
  }

  TempDir dir;
  RunningService service{dir.Path("service.db"), AnHourLater()};
  httplib::Client client = service.Client();
};

TEST_F(PagesTest, ReportPageTellsTheCleanInGroupsWithCounts) {
  UsageReport report = SampleReport(2);  // has startup entries and programs
  ASSERT_FALSE(report.startups.empty());
  ASSERT_FALSE(report.installs.empty());
  auto page = Fetch("/?report=" + Add(report));
  ASSERT_TRUE(page);
  ASSERT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  const std::string& html = page->body;
  EXPECT_TRUE(Has(html, "<meta name=\"viewport\""));
  EXPECT_TRUE(Has(html, "<svg class=\"chart\""));
  EXPECT_TRUE(Has(html, "<p class=\"lead\">Tidora freed 512 MB of memory: 6.2% of the total "
                        "8.0 GB. It closed 3 programs, kept 1 protected ones and could not "
                        "close 1.</p>")) << html;
  EXPECT_TRUE(Has(html, "<dt>Available before</dt><dd>1.0 GB</dd>"));
  EXPECT_TRUE(Has(html, "<dt>Available after</dt><dd>1.5 GB</dd>"));
  EXPECT_TRUE(Has(html, "<dt>Freed</dt><dd>+512 MB (6.2% of the total)</dd>"));

  std::string closed = Part(html, "id=\"closed\"", "</div></div>");
  std::string kept = Part(html, "id=\"kept\"", "</div></div>");
  std::string running = Part(html, "id=\"running\"", "</div></div>");
  EXPECT_TRUE(Has(closed, "<h3>Closed <span class=\"n\">(3)</span></h3>")) << closed;
  EXPECT_TRUE(Has(closed, "<td class=\"path\">%ProgramFiles%\\App 2\\app.exe</td>"));
  EXPECT_TRUE(Has(closed, "helper1&lt;b&gt;&amp;&quot;.exe"));
  EXPECT_TRUE(Has(kept, "<h3>Kept by protection <span class=\"n\">(1)</span></h3>"));
  EXPECT_TRUE(Has(kept, "<td class=\"path\">%SystemRoot%\\explorer.exe</td>"));
  EXPECT_TRUE(Has(running, "<h3>Left running <span class=\"n\">(1)</span></h3>"));
  EXPECT_TRUE(Has(running, "<td class=\"path\">메모장 2.exe</td>"));
  EXPECT_FALSE(Has(running, "explorer"));

  // One report alone: nothing to compare with, and no entry has five users.
  EXPECT_TRUE(Has(html, "Too few other cleans in the last 30 days to compare with."));
  EXPECT_TRUE(Has(html, "href=\"/entry/serv/spooler\""));
  EXPECT_TRUE(Has(html, "href=\"/entry/sche/task%202\""));
  EXPECT_TRUE(Has(html, "<td class=\"share rare\">fewer than 5 users</td>"));
  EXPECT_TRUE(Has(html, "<td>Publisher &amp; Co</td>"));

  auto bare = Fetch("/?report=" + Add(SampleReport(4)));  // neither list, no processes ended
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->status, 200);
  EXPECT_FALSE(Has(bare->body, "id=\"startups\""));
  EXPECT_FALSE(Has(bare->body, "id=\"installs\""));
}

TEST_F(PagesTest, ReportPageComparesAndSharesWithoutShowingOtherReports) {
  // Seven other users, each with the common entry and the add-on; one of
  // them also with an odd entry of their own.
  std::vector<std::string> others;
  for (int u = 0; u < 7; ++u) {
    UsageReport report = SampleReport(4);
    report.memNew = report.memOld + (100ll << 20) * (u + 1);
    report.startups = {{"C:\\Tools\\Common.exe", "FILE", SwitchState::Unknown}};
    if (u == 0) report.startups.push_back({"C:\\Users\\kim\\odd.exe", "FILE", SwitchState::Unknown});
    report.installs = {{"AhnLab Safe Transaction", "AhnLab"}};
    others.push_back(Add(report, "OTHERUSER" + std::to_string(u)));
  }
  UsageReport mine = SampleReport(4);
  mine.memNew = mine.memOld + (450ll << 20);
  mine.startups = {{"C:\\Tools\\Common.exe", "FILE", SwitchState::Unknown},
                   {"C:\\Mine\\new.exe", "FILE", SwitchState::Unknown}};
  mine.installs = {{"Editor", "E"}, {"AhnLab Safe Transaction 2", "AhnLab"}};
  auto page = Fetch("/?report=" + Add(mine, "ME"));
  ASSERT_TRUE(page);
  const std::string& html = page->body;
  EXPECT_TRUE(Has(html, "<dt>Other cleans in the last 30 days</dt><dd>7</dd>")) << html;
  EXPECT_TRUE(Has(html, "<dt>Their median freed memory</dt><dd>400 MB</dd>"));
  EXPECT_TRUE(Has(html, "<dt>This clean</dt><dd>450 MB · freed more than 57% of them</dd>"));
  // Eight users sent startup lists; the common entry comes after the new one.
  EXPECT_TRUE(Has(html, "of the 8 users who sent their startup entries"));
  size_t fresh = html.find("C:\\Mine\\new.exe"), common = html.find("C:\\Tools\\Common.exe");
  ASSERT_NE(fresh, std::string::npos);
  EXPECT_LT(fresh, common);
  EXPECT_TRUE(Has(html, "<td class=\"share\">100% (8 users)</td>"));
  // Add-ons first and marked; ordinary programs unmarked.
  EXPECT_TRUE(Has(html, "<tr class=\"addon\"><td>AhnLab Safe Transaction 2</td><td>AhnLab</td>"
                        "<td><span class=\"mark\">Add-on</span> · fewer than 5 users</td></tr>"
                        "<tr><td>Editor</td><td>E</td><td></td></tr>"));
  for (int u = 0; u < 7; ++u) EXPECT_FALSE(Has(html, "OTHERUSER" + std::to_string(u)));
  for (const auto& id : others) EXPECT_FALSE(Has(html, id));
  EXPECT_FALSE(Has(html, "kim"));
  EXPECT_FALSE(Has(html, "ME<"));

  auto korean = Fetch("/?report=" + Add(mine, "ME"), "ko");
  ASSERT_TRUE(korean);
  EXPECT_TRUE(Has(korean->body, "<dt>확보한 메모리 중간값</dt>"));
  EXPECT_TRUE(Has(korean->body, "<span class=\"mark\">강제설치</span>"));
  EXPECT_TRUE(Has(korean->body, "100% (8명)"));
}

TEST_F(PagesTest, TextFromReportsIsEscapedWhereverItIsShown) {
  const std::string markup = "<i>\"'&";
  const std::string escaped = "&lt;i&gt;&quot;&#39;&amp;";
  UsageReport report = SampleReport(5);
  report.processes = {{"<script>alert(1)</script>.exe", ProcessOutcome::Ended},
                      {"kept" + markup, ProcessOutcome::Kept},
                      {"running" + markup, ProcessOutcome::StillRunning}};
  report.installs = {{"\"><img src=x onerror=alert(2)>", "O'Brien & <Sons>"},
                     {"AhnLab Safe Transaction" + markup, markup}};
  report.startups = {{"HKCU\\Run\\a\"b<c>/d", "HKCU", SwitchState::Unknown},
                     {"C:\\t\\x" + markup, "FILE", SwitchState::Unknown}};
  // Five users share the entry, so its page shows its targets.
  for (int u = 0; u < 5; ++u) Add(report, "U" + std::to_string(u));
  auto page = Fetch("/?report=" + Add(report));
  ASSERT_TRUE(page);
  const std::string& html = page->body;
  EXPECT_FALSE(Has(html, "<script"));
  EXPECT_FALSE(Has(html, "<img"));
  EXPECT_FALSE(Has(html, "<Sons>"));
  EXPECT_FALSE(Has(html, markup));
  EXPECT_TRUE(Has(html, "&lt;script&gt;alert(1)&lt;/script&gt;.exe"));
  EXPECT_TRUE(Has(html, "kept" + escaped));
  EXPECT_TRUE(Has(html, "running" + escaped));
  EXPECT_TRUE(Has(html, "&quot;&gt;&lt;img src=x onerror=alert(2)&gt;"));
  EXPECT_TRUE(Has(html, "O&#39;Brien &amp; &lt;Sons&gt;"));
  EXPECT_TRUE(Has(html, "<td>AhnLab Safe Transaction" + escaped + "</td><td>" + escaped));
  EXPECT_TRUE(Has(html, "href=\"/entry/hkcu/a%22b%3Cc%3E%2Fd\""));
  EXPECT_TRUE(Has(html, ">C:\\t\\x" + escaped + "</a>"));
  EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");

  // The entry page shows the name from the address and the targets.
  auto entry = Fetch("/entry/file/x%3Ci%3E%22'%26");
  ASSERT_TRUE(entry);
  EXPECT_FALSE(Has(entry->body, markup));
  EXPECT_TRUE(Has(entry->body, "<h1>x" + escaped + "</h1>")) << entry->body;
  EXPECT_TRUE(Has(entry->body, "<title>Startup entry: x" + escaped + "</title>"));
  EXPECT_TRUE(Has(entry->body, "<td class=\"path\">C:\\t\\x" + escaped + "</td>"));
}

TEST_F(PagesTest, LanguageFollowsAcceptLanguage) {
  std::string id = Add(SampleReport(1));
  auto korean = Fetch("/?report=" + id, "ko-KR,ko;q=0.9,en-US;q=0.8,en;q=0.7");
  ASSERT_TRUE(korean);
  EXPECT_TRUE(Has(korean->body, "<html lang=\"ko\">"));
  EXPECT_TRUE(Has(korean->body, "<h1>정리 보고서</h1>"));
  EXPECT_TRUE(Has(korean->body, "종료됨"));
  auto english = Fetch("/?report=" + id, "en-US,en;q=0.9,ko;q=0.8");
  ASSERT_TRUE(english);
  EXPECT_TRUE(Has(english->body, "<h1>Cleaning report</h1>"));

  struct Case {
    const char* header;
    Lang lang;
  } cases[] = {
      {"", Lang::En},
      {"fr-FR,fr;q=0.9", Lang::En},
      {"fr, ko;q=0.5", Lang::Ko},
      {"KO", Lang::Ko},
      {"ko;q=0, en;q=0.1", Lang::En},
      {"en;q=0.5, ko;q=0.8", Lang::Ko},
      {"ko-KR;q=0.9,en;q=0.9", Lang::Ko},
      {";;,,q=", Lang::En},
  };
  for (const auto& c : cases) EXPECT_EQ(PickLanguage(c.header), c.lang) << c.header;
}

TEST_F(PagesTest, UnknownReportsAndPathsGet404Pages) {
  Add(SampleReport(1));
  const std::string paths[] = {
      "/?report=" + NewReportId(),  // well formed, never given out
      "/?report=",
      "/?report=..%2F..%2Fetc%2Fpasswd",
      "/?report=%27%20OR%201%3D1%20--",
      "/?report=" + std::string(3000, 'A'),
      "/nothing",
      "/entry/disk/x",
      "/entry/hkcu",
  };
  for (const auto& path : paths) {
    auto page = Fetch(path, "ko");
    ASSERT_TRUE(page) << path;
    EXPECT_EQ(page->status, 404) << path;
    EXPECT_TRUE(Has(page->body, "<h1>찾을 수 없음</h1>")) << path;
  }
  auto home = Fetch("/");
  ASSERT_TRUE(home);
  EXPECT_EQ(home->status, 200);
}

TEST_F(PagesTest, EntryPageShowsFiguresOnlyOnceFiveUsersHaveIt) {
  auto withEntry = [](const std::string& item, SwitchState state) {
    UsageReport report = SampleReport(4);  // no startup list of its own
    report.startups = {{item, "HKCU", state}, {"Other", "SERV", SwitchState::Unknown}};
    return report;
  };
  const std::string run = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\";
  for (int u = 1; u <= 4; ++u) Add(withEntry(run + "Updater", SwitchState::Unknown), "U" + std::to_string(u));
  auto four = Fetch("/entry/hkcu/updater");
  ASSERT_TRUE(four);
  EXPECT_TRUE(Has(four->body, "Fewer than 5 users have reported this entry, so no figures are shown."));
  EXPECT_FALSE(Has(four->body, "<dd>"));
  EXPECT_FALSE(Has(four->body, "Run\\Updater"));
  EXPECT_FALSE(Has(four->body, "<svg"));

  Add(withEntry(run + "Updater", SwitchState::Off), "U5");
  Add(withEntry(run + "UPDATER", SwitchState::On), "U1");
  Add(withEntry(run + "Updater2", SwitchState::Off), "U6");
  Add(SampleReport(4), "U7");
  auto page = Fetch("/entry/hkcu/updater");
  ASSERT_TRUE(page);
  ASSERT_EQ(page->status, 200);
  const std::string& html = page->body;
  EXPECT_TRUE(Has(html, "<dt>Seen in</dt><dd>6 reports</dd>")) << html;
  EXPECT_TRUE(Has(html, "<dt>Users</dt><dd>5</dd>"));
  EXPECT_TRUE(Has(html, "<dt>Users with it (last 30 days)</dt><dd>83% (5 of 6 users)</dd>"));
  EXPECT_TRUE(Has(html, "<dt>Switched off</dt><dd>1 / 2 reports</dd>"));
  EXPECT_TRUE(Has(html, "<dt>First seen</dt><dd>2024-05-01</dd>"));
  EXPECT_TRUE(Has(html, "<svg class=\"weekly\""));
  EXPECT_TRUE(Has(html, "<title>6 reports</title>"));
  EXPECT_TRUE(Has(html, "Run\\Updater</td><td class=\"count\">5 users</td>"
                        "<td class=\"count\">5 reports</td>"));
  // "Run\UPDATER" came from one user: counted, not shown.
  EXPECT_FALSE(Has(html, "Run\\UPDATER"));
  EXPECT_TRUE(Has(html, "1 more targets, each seen by fewer than 5 users, are not shown."));

  // Upper case in the address finds the same entry; the browser sends the
  // Korean name percent-encoded.
  for (int u = 1; u <= 5; ++u) Add(withEntry(run + "한글 도구", SwitchState::Unknown), "K" + std::to_string(u));
  auto korean = Fetch("/entry/HKCU/%ED%95%9C%EA%B8%80%20%EB%8F%84%EA%B5%AC", "ko");
  ASSERT_TRUE(korean);
  EXPECT_TRUE(Has(korean->body, "<h1>한글 도구</h1>"));
  EXPECT_TRUE(Has(korean->body, "<dd>5건</dd>"));
  EXPECT_TRUE(Has(korean->body, "<dt>사용 안 함</dt><dd>알 수 없음</dd>"));
  EXPECT_TRUE(Has(korean->body, "(11명 중 5명)"));

  auto unseen = Fetch("/entry/file/never.lnk");
  ASSERT_TRUE(unseen);
  EXPECT_EQ(unseen->status, 200);
  EXPECT_TRUE(Has(unseen->body, "No report has listed this entry yet."));
}

TEST(IdsTest, IdsAreUnguessableShapeAndNeverRepeat) {
  std::set<std::string> seen;
  for (int i = 0; i < 20000; ++i) {
    std::string id = NewReportId();
    ASSERT_TRUE(IsReportId(id)) << id;
    ASSERT_TRUE(seen.insert(id).second) << id;
  }
  EXPECT_FALSE(IsReportId(""));
  EXPECT_FALSE(IsReportId(std::string(24, '/')));
  EXPECT_FALSE(IsReportId(NewReportId() + "A"));
}

}  // namespace
}  // namespace tidora::server::test
