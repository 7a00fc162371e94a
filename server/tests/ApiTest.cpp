// The three calls the program makes, against a real server on 127.0.0.1.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "Settings.h"
#include "Support.h"

namespace tidora::server::test {
namespace {

const httplib::Headers kReportHeaders = {{"User-Version", "1.0.0.1"},
                                         {"User-Union", "1A2B3C4D2405010ABC1234567800FF00"}};

// The program's reading of the reply: the text after the first "pk":" up to
// the next double quote.
std::string ProgramReadsId(const std::string& reply) {
  const std::string tag = "\"pk\":\"";
  size_t at = reply.find(tag);
  if (at == std::string::npos) return "";
  size_t end = reply.find('"', at + tag.size());
  return end == std::string::npos ? "" : reply.substr(at + tag.size(), end - at - tag.size());
}

class ApiTest : public ::testing::Test {
 protected:
  TempDir dir;
  RunningService service{dir.Path("service.db")};
  httplib::Client client = service.Client();
};

TEST_F(ApiTest, InitAnswersTheStoredSettingsAsCompactJson) {
  auto empty = client.Get("/api.init.php");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->status, 200);
  EXPECT_EQ(empty->body, "{}");

  std::string error;
  ASSERT_TRUE(ApplySettings(
      service.Data(), "",
      {"name_black=[\"b.exe\",\"c\"]", "update=https://localhost/get/tidora.exe",
       "notify=https://localhost/notice?id=3",
       R"(info={"style":"note","text":"새 소식","flag":"stayontop","url":"https://localhost/i"})",
       R"(file_white=["%SystemRoot%\\a.exe"])", R"(name_white=["svc"])"},
      error))
      << error;
  httplib::Headers program = {{"User-Version", "1.0.0.1"}, {"User-Language", "ko"},
                              {"User-Debug", "false"}, {"User-Union", "ABC"},
                              {"User-Agent", "Mozilla/5.0 (Windows NT 10.0; Win64; x64)"}};
  auto reply = client.Get("/api.init.php", program);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 200);
  EXPECT_EQ(reply->get_header_value("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(reply->body,
            "{\"update\":\"https://localhost/get/tidora.exe\","
            "\"notify\":\"https://localhost/notice?id=3\","
            "\"info\":{\"flag\":\"stayontop\",\"style\":\"note\",\"text\":\"새 소식\","
            "\"url\":\"https://localhost/i\"},"
            "\"file_white\":[\"%SystemRoot%\\\\a.exe\"],\"name_white\":[\"svc\"],"
            "\"name_black\":[\"b.exe\",\"c\"]}");

  ASSERT_TRUE(ApplySettings(service.Data(), "", {"update=", "info="}, error)) << error;
  reply = client.Get("/api.init.php", program);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->body.find("update"), std::string::npos);
  EXPECT_EQ(reply->body.find("info"), std::string::npos);
  EXPECT_NE(reply->body.find("\"notify\":\"https://localhost/notice?id=3\""), std::string::npos);
}

TEST_F(ApiTest, HoldIsRecordedOnlyForTheHoldCommand) {
  ASSERT_TRUE(client.Get("/api.init.php", {{"User-Version", "1.0.0.1"}}));
  ASSERT_TRUE(client.Get("/api.init.php", {{"User-Command", "Hold"}}));
  EXPECT_EQ(service.Data().HoldCount(), 0);

  auto reply = client.Get("/api.init.php", {{"User-Version", "1.0.0.1"}, {"User-Command", "hold"}});
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 200);
  EXPECT_EQ(service.Data().HoldCount(), 1);
}

TEST_F(ApiTest, ReportIsStoredWithItsHeadersAndAnsweredWithAFreshId) {
  UsageReport sent = SampleReport(6);
  auto first = client.Post("/report.php", kReportHeaders, WriteReport(sent), "application/json");
  auto second = client.Post("/report.php", kReportHeaders, WriteReport(sent), "application/json");
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->status, 200);
  EXPECT_TRUE(std::regex_match(first->body, std::regex(R"(\{"pk":"[A-Za-z0-9_-]{24}"\})")))
      << first->body;
  std::string id = ProgramReadsId(first->body);
  EXPECT_NE(id, ProgramReadsId(second->body));

  auto stored = service.Data().LoadReport(id);
  ASSERT_TRUE(stored);
  EXPECT_TRUE(stored->report == sent);
  EXPECT_EQ(stored->origin.version, "1.0.0.1");
  EXPECT_EQ(stored->origin.userId, "1A2B3C4D2405010ABC1234567800FF00");
  EXPECT_EQ(service.Data().ReportCount(), 2);
}

TEST_F(ApiTest, TheProgramsOwnTextIsAccepted) {
  // As the program writes it: every value a string, "/" as "\/", non-ASCII as
  // upper-case \u escapes, both lists present.
  std::string body =
      R"([{"cate":"memory","old":"1073741824","new":"2147483648","tot":"8589934592"},)"
      R"({"cate":"clean","file":"%SystemRoot%\\explorer.exe","state":"1"},)"
      R"({"cate":"clean","file":"C:\\a\/b\\\uD55C\uAE00.exe","state":"-1"},)"
      R"({"cate":"clean","file":"busy.exe","state":"-2"},)"
      R"({"cate":"start","item":"HKLM\\Software\\Run\\Tool","from":"HKLM"},)"
      R"({"cate":"install","displayname":"\uD504\uB85C\uADF8\uB7A8","publisher":""}])";
  auto reply = client.Post("/report.php", kReportHeaders, body, "application/json");
  ASSERT_TRUE(reply);
  ASSERT_EQ(reply->status, 200) << reply->body;
  auto stored = service.Data().LoadReport(ProgramReadsId(reply->body));
  ASSERT_TRUE(stored);
  ASSERT_EQ(stored->report.processes.size(), 3u);
  EXPECT_EQ(stored->report.processes[1].file, "C:\\a/b\\한글.exe");
  EXPECT_EQ(stored->report.processes[2].outcome, ProcessOutcome::StillRunning);
  EXPECT_EQ(stored->report.installs.at(0).name, "프로그램");
  EXPECT_EQ(stored->report.memTotal, 8589934592ll);
}

TEST_F(ApiTest, MalformedHeadersAreDroppedButTheReportKept) {
  auto reply = client.Post("/report.php",
                           {{"User-Version", "1.0<script>"}, {"User-Union", "a b'; DROP"}},
                           WriteReport(SampleReport(1)), "application/json");
  ASSERT_TRUE(reply);
  ASSERT_EQ(reply->status, 200);
  auto stored = service.Data().LoadReport(ProgramReadsId(reply->body));
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->origin.version, "");
  EXPECT_EQ(stored->origin.userId, "");
}

TEST_F(ApiTest, BadBodiesGet400AndNothingIsStored) {
  const std::string memory = R"({"cate":"memory","old":"1","new":"2","tot":"3"})";
  const std::string clean = R"({"cate":"clean","file":"a.exe","state":"-1"})";
  struct Case {
    const char* what;
    std::string body;
  } cases[] = {
      {"empty body", ""},
      {"not JSON", "[" + memory + ","},
      {"text", "hello"},
      {"an object, not an array", memory},
      {"empty array", "[]"},
      {"a number as record", "[" + memory + ",1]"},
      {"memory not first", "[" + clean + "," + memory + "]"},
      {"two memory records", "[" + memory + "," + memory + "]"},
      {"no kind", R"([{"old":"1","new":"2","tot":"3"}])"},
      {"unknown kind", "[" + memory + R"(,{"cate":"virus","file":"a","state":"1"}])"},
      {"missing key", "[" + memory + R"(,{"cate":"clean","file":"a.exe"}])"},
      {"extra key", "[" + memory + R"(,{"cate":"clean","file":"a","state":"1","pid":"4"}])"},
      {"number, not string", R"([{"cate":"memory","old":1,"new":"2","tot":"3"}])"},
      {"negative memory", R"([{"cate":"memory","old":"-1","new":"2","tot":"3"}])"},
      {"memory not a number", R"([{"cate":"memory","old":"1e9","new":"2","tot":"3"}])"},
      {"memory past 64 bits", R"([{"cate":"memory","old":"99999999999999999999","new":"2","tot":"3"}])"},
      {"unknown state", "[" + memory + R"(,{"cate":"clean","file":"a","state":"2"}])"},
      {"lower-case source", "[" + memory + R"(,{"cate":"start","item":"x","from":"hkcu"}])"},
      {"unknown source", "[" + memory + R"(,{"cate":"start","item":"x","from":"DISK"}])"},
      {"bad switch state", "[" + memory + R"(,{"cate":"start","item":"x","from":"SERV","enabled":"yes"}])"},
      {"nested value", "[" + memory + R"(,{"cate":"install","displayname":["x"],"publisher":""}])"},
      {"deep nesting", std::string(5000, '[') + std::string(5000, ']')},
      {"value too long", "[" + memory + R"(,{"cate":"clean","file":")" + std::string(9000, 'a') +
                             R"(","state":"1"}])"},
  };
  for (const auto& c : cases) {
    auto reply = client.Post("/report.php", kReportHeaders, c.body, "application/json");
    ASSERT_TRUE(reply) << c.what;
    EXPECT_EQ(reply->status, 400) << c.what;
    auto json = nlohmann::json::parse(reply->body, nullptr, false);
    EXPECT_TRUE(json.is_object() && json.contains("error") && json["error"].is_string())
        << c.what << ": " << reply->body;
    EXPECT_EQ(ProgramReadsId(reply->body), "") << c.what;
  }
  EXPECT_EQ(service.Data().ReportCount(), 0);
}

TEST_F(ApiTest, OtherMethodsAndPathsGetJsonOrPageErrors) {
  auto wrongMethod = client.Get("/report.php");
  ASSERT_TRUE(wrongMethod);
  EXPECT_GE(wrongMethod->status, 400);
  EXPECT_TRUE(nlohmann::json::parse(wrongMethod->body, nullptr, false).contains("error"));
  auto postInit = client.Post("/api.init.php", "x", "text/plain");
  ASSERT_TRUE(postInit);
  EXPECT_GE(postInit->status, 400);
}

TEST(ApiLimitTest, OversizeReportIsRefusedAndJustUnderTheLimitTaken) {
  TempDir dir;
  ServiceConfig config;
  config.limits.maxBody = 64 * 1024;
  RunningService service(dir.Path("service.db"), config);
  auto client = service.Client();

  // A valid report padded with a long publisher list up to the size wanted.
  auto reportOfSize = [](size_t size) {
    UsageReport report = SampleReport(3);
    report.installs.clear();
    std::string body = WriteReport(report);
    while (body.size() < size) {
      report.installs.push_back({"p", std::string(std::min<size_t>(4000, size - body.size()), 'x')});
      body = WriteReport(report);
    }
    while (body.size() > size) {
      auto& last = report.installs.back().publisher;
      last.resize(last.size() - std::min(last.size(), body.size() - size));
      body = WriteReport(report);
    }
    return body;
  };

  std::string over = reportOfSize(config.limits.maxBody + 1);
  ASSERT_EQ(over.size(), config.limits.maxBody + 1);
  auto refused = client.Post("/report.php", kReportHeaders, over, "application/json");
  // The server may close the connection as soon as it has said 413.
  if (refused) {
    EXPECT_EQ(refused->status, 413);
    EXPECT_EQ(ProgramReadsId(refused->body), "");
  }
  EXPECT_EQ(service.Data().ReportCount(), 0);

  std::string fits = reportOfSize(config.limits.maxBody);
  ASSERT_EQ(fits.size(), config.limits.maxBody);
  auto taken = service.Client().Post("/report.php", kReportHeaders, fits, "application/json");
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->status, 200);
  EXPECT_EQ(service.Data().ReportCount(), 1);
}

}  // namespace
}  // namespace tidora::server::test
