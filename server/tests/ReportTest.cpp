// Report parsing details that the HTTP tests do not reach.
#include <gtest/gtest.h>

#include "Report.h"
#include "Support.h"

namespace tidora::server::test {
namespace {

const std::string kMemory = R"({"cate":"memory","old":"1","new":"2","tot":"3"})";

std::string WithFile(const std::string& escapedFile) {
  return "[" + kMemory + R"(,{"cate":"clean","file":")" + escapedFile + R"(","state":"1"}])";
}

TEST(ReportTest, WrittenReportsParseBackUnchanged) {
  for (size_t seed : {0, 1, 2, 3, 7}) {
    UsageReport sent = SampleReport(seed);
    sent.startups.push_back({"C:\\Users\\me\\Start Menu\\Programs\\Startup\\x.lnk", "FILE",
                             SwitchState::Off});
    std::string error;
    auto parsed = ParseReport(WriteReport(sent), error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_TRUE(*parsed == sent) << seed;
  }
}

TEST(ReportTest, UnpairedSurrogatesAndNulsBecomeReplacementCharacters) {
  struct Case {
    const char* escaped;
    const char* stored;
  } cases[] = {
      {R"(a\uD800b.exe)", "a\xEF\xBF\xBD" "b.exe"},              // lone high
      {R"(a\uDC00.exe)", "a\xEF\xBF\xBD.exe"},                    // lone low
      {R"(\uD83D\uDE00.exe)", "\xF0\x9F\x98\x80.exe"},           // a pair is kept
      {R"(\uD83D\uD83D\uDE00)", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},  // high, then a pair
      {R"(x\uD800)", "x\xEF\xBF\xBD"},                            // at the very end
      {R"(\\uD800)", "\\uD800"},                                  // an escaped backslash
      {R"(a\u0000b.exe)", "a\xEF\xBF\xBD" "b.exe"},              // NUL
  };
  for (const auto& c : cases) {
    std::string error;
    auto parsed = ParseReport(WithFile(c.escaped), error);
    ASSERT_TRUE(parsed) << c.escaped << ": " << error;
    EXPECT_EQ(parsed->processes.at(0).file, c.stored) << c.escaped;
  }
}

TEST(ReportTest, RecordCountIsBounded) {
  ReportLimits limits;
  limits.maxRecords = 3;
  std::string error;
  EXPECT_TRUE(ParseReport("[" + kMemory + "," + R"({"cate":"clean","file":"a","state":"1"})" + "]",
                          error, limits));
  std::string four = "[" + kMemory;
  for (int i = 0; i < 3; ++i) four += R"(,{"cate":"clean","file":"a","state":"1"})";
  four += "]";
  EXPECT_FALSE(ParseReport(four, error, limits));
  EXPECT_EQ(error, "too many records");
}

TEST(ReportTest, EntryKeyIsTheLowerCasedNameAfterTheLastBackslashOrColon) {
  struct Case {
    StartRecord record;
    const char* source;
    const char* name;
  } cases[] = {
      {{"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\SecurityHealth", "HKLM"},
       "hklm", "securityhealth"},
      {{"C:\\Users\\Kim\\Start Menu\\Programs\\Startup\\My App.LNK", "FILE"}, "file",
       "my app.lnk"},
      {{"\\Adobe Update", "SCHE"}, "sche", "adobe update"},
      {{"Spooler", "SERV"}, "serv", "spooler"},
      {{"HKCU\\Run\\c:odd", "HKCU"}, "hkcu", "odd"},
      {{"HKCU\\Run\\한글ABC", "HKCU"}, "hkcu", "한글abc"},  // only ASCII folds
  };
  for (const auto& c : cases) {
    EntryKey key = EntryKeyOf(c.record);
    EXPECT_EQ(key.source, c.source) << c.record.item;
    EXPECT_EQ(key.name, c.name) << c.record.item;
  }
}

}  // namespace
}  // namespace tidora::server::test
