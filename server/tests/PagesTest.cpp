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

class PagesTest : public ::testing::Test {
 protected:
  std::string Add(const UsageReport& report, const std::string& user = "U1") {
    return service.Data().AddReport(report, {"1.0.0.1", user, 1714567890});
  }
  httplib::Result Fetch(const std::string& path, const std::string& language = "en") {
    return client.Get(path, {{"Accept-Language", language}});
  }

  TempDir dir;
  RunningService service{dir.Path("service.db")};
  httplib::Client client = service.Client();
};

TEST_F(PagesTest, ReportPageShowsMemoryChartProcessesAndLists) {
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
  EXPECT_TRUE(Has(html, "<dt>Available before</dt><dd>1.0 GB</dd>"));
  EXPECT_TRUE(Has(html, "<dt>Available after</dt><dd>1.5 GB</dd>"));
  EXPECT_TRUE(Has(html, "<dt>Freed</dt><dd>+512.0 MB</dd>") || Has(html, "<dd>+512 MB</dd>"));
  EXPECT_TRUE(Has(html, "<td class=\"path\">%SystemRoot%\\explorer.exe</td><td class=\"kept\">Kept</td>"));
  EXPECT_TRUE(Has(html, "<td class=\"path\">메모장 2.exe</td><td class=\"running\">Still running</td>"));
  EXPECT_TRUE(Has(html, "<td class=\"ended\">Closed</td>"));
  EXPECT_TRUE(Has(html, "id=\"startups\""));
  EXPECT_TRUE(Has(html, "href=\"/entry/serv/spooler\""));
  EXPECT_TRUE(Has(html, "href=\"/entry/sche/task%202\""));
  EXPECT_TRUE(Has(html, "id=\"installs\""));
  EXPECT_TRUE(Has(html, "<td>Publisher &amp; Co</td>"));

  auto bare = Fetch("/?report=" + Add(SampleReport(4)));  // neither list
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->status, 200);
  EXPECT_FALSE(Has(bare->body, "id=\"startups\""));
  EXPECT_FALSE(Has(bare->body, "id=\"installs\""));
}

TEST_F(PagesTest, TextFromReportsIsEscaped) {
  UsageReport report = SampleReport(5);
  report.processes.push_back({"<script>alert(1)</script>.exe", ProcessOutcome::Ended});
  report.installs = {{"\"><img src=x onerror=alert(2)>", "O'Brien & <Sons>"}};
  report.startups = {{"HKCU\\Run\\a\"b<c>/d", "HKCU", SwitchState::Unknown}};
  auto page = Fetch("/?report=" + Add(report));
  ASSERT_TRUE(page);
  const std::string& html = page->body;
  EXPECT_FALSE(Has(html, "<script"));
  EXPECT_FALSE(Has(html, "<img"));
  EXPECT_FALSE(Has(html, "<Sons>"));
  EXPECT_TRUE(Has(html, "&lt;script&gt;alert(1)&lt;/script&gt;.exe"));
  EXPECT_TRUE(Has(html, "&quot;&gt;&lt;img src=x onerror=alert(2)&gt;"));
  EXPECT_TRUE(Has(html, "O&#39;Brien &amp; &lt;Sons&gt;"));
  EXPECT_TRUE(Has(html, "href=\"/entry/hkcu/a%22b%3Cc%3E%2Fd\""));
  EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");
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

TEST_F(PagesTest, EntryPageCountsReportsUsersAndSwitchOffs) {
  auto withEntry = [](const std::string& item, SwitchState state) {
    UsageReport report = SampleReport(4);  // no startup list of its own
    report.startups = {{item, "HKCU", state}, {"Other", "SERV", SwitchState::Unknown}};
    return report;
  };
  const std::string run = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\";
  Add(withEntry(run + "Updater", SwitchState::Unknown), "U1");
  Add(withEntry(run + "Updater", SwitchState::Off), "U2");
  Add(withEntry(run + "UPDATER", SwitchState::On), "U1");
  Add(withEntry(run + "Updater2", SwitchState::Off), "U3");
  Add(SampleReport(4), "U4");

  auto page = Fetch("/entry/hkcu/updater");
  ASSERT_TRUE(page);
  ASSERT_EQ(page->status, 200);
  const std::string& html = page->body;
  EXPECT_TRUE(Has(html, "<dt>Seen in</dt><dd>3 reports</dd>")) << html;
  EXPECT_TRUE(Has(html, "<dt>Users</dt><dd>2</dd>"));
  EXPECT_TRUE(Has(html, "<dt>Switched off</dt><dd>1 / 2 reports</dd>"));
  EXPECT_TRUE(Has(html, "Run\\Updater</td><td class=\"count\">2 reports</td>"));
  EXPECT_TRUE(Has(html, "Run\\UPDATER</td><td class=\"count\">1 report</td>"));

  // Upper case in the address finds the same entry; the browser sends the
  // Korean name percent-encoded.
  Add(withEntry(run + "한글 도구", SwitchState::Unknown));
  auto korean = Fetch("/entry/HKCU/%ED%95%9C%EA%B8%80%20%EB%8F%84%EA%B5%AC", "ko");
  ASSERT_TRUE(korean);
  EXPECT_TRUE(Has(korean->body, "<h1>한글 도구</h1>"));
  EXPECT_TRUE(Has(korean->body, "<dd>1건</dd>"));
  EXPECT_TRUE(Has(korean->body, "<dt>사용 안 함</dt><dd>알 수 없음</dd>"));

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
