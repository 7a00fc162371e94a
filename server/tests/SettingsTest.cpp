// Init settings: their checks, the reply text, and all-or-nothing changes.
#include <gtest/gtest.h>

#include "Settings.h"
#include "Support.h"

namespace tidora::server::test {
namespace {

TEST(SettingsTest, AssignmentsAreCheckedAndCanonical) {
  struct Case {
    const char* assignment;
    bool ok;
    const char* json;
  } cases[] = {
      {"update=https://localhost/a b", true, "\"https://localhost/a b\""},
      {"notify=http://localhost/n", true, "\"http://localhost/n\""},
      {"update=", true, ""},
      {"update=ftp://x", false, ""},
      {"update=javascript:alert(1)", false, ""},
      {"notify=https://localhost/a\\", false, ""},
      {"notify=https://localhost/a\\b", true, R"("https://localhost/a\\b")"},
      {R"(info={"style":"note","text":"C:\\"})", false, ""},
      {R"(name_white=["C:\\Tools\\"])", true, R"(["C:\\Tools\\"])"},
      {R"(info={"style":"hold", "text":"Don't show again"})", true,
       R"({"style":"hold","text":"Don't show again"})"},
      {R"(info={"style":"note","text":"a}b"})", false, ""},
      {R"(info={"style":"note","colour":"red"})", false, ""},
      {R"(info={"style":1})", false, ""},
      {"info=[]", false, ""},
      {R"(name_black=[ "a.exe", "b" ])", true, R"(["a.exe","b"])"},
      {R"(name_black=["a", 2])", false, ""},
      {R"(file_white=[""])", false, ""},
      {"name_white={}", false, ""},
      {"name_white=not json", false, ""},
      {"colour=red", false, ""},
      {"colour=", false, ""},
      {"update", false, ""},
  };
  for (const auto& c : cases) {
    std::string name, json, error;
    EXPECT_EQ(ParseSetting(c.assignment, name, json, error), c.ok) << c.assignment;
    if (c.ok) EXPECT_EQ(json, c.json) << c.assignment;
    else EXPECT_FALSE(error.empty()) << c.assignment;
  }
}

TEST(SettingsTest, ReplyKeepsItsOrderAndLeavesOutWhatNoLongerChecks) {
  std::map<std::string, std::string> settings = {
      {"name_black", R"(["x"])"},
      {"info", R"({"text":"t","style":"note"})"},
      {"update", R"("https://localhost/u")"},
      {"notify", R"("https://localhost/}")"},
      {"file_white", "broken"},
      {"name_white", R"({"style":"hold","text":"a}"})"},
  };
  EXPECT_EQ(InitReply(settings),
            R"({"update":"https://localhost/u","notify":"https://localhost/}",)"
            R"("info":{"style":"note","text":"t"},"name_black":["x"]})");
  EXPECT_EQ(InitReply({}), "{}");
}

TEST(SettingsTest, AMistakeLeavesTheSettingsAsTheyWere) {
  TempDir dir;
  auto opened = OpenStore(dir.Path("s.db"));
  Store& store = *opened;
  std::string error;
  ASSERT_TRUE(ApplySettings(store, R"({"update":"https://localhost/1","name_black":["a"]})", {},
                            error))
      << error;
  auto before = store.Settings();
  EXPECT_FALSE(ApplySettings(store, R"({"notify":"https://localhost/2"})",
                             {"update=https://localhost/3", "name_black=oops"}, error));
  EXPECT_FALSE(ApplySettings(store, "[1]", {}, error));
  EXPECT_FALSE(ApplySettings(store, R"({"colour":null})", {}, error));
  EXPECT_EQ(store.Settings(), before);

  ASSERT_TRUE(ApplySettings(store, R"({"update":null})", {"notify=https://localhost/n"}, error))
      << error;
  EXPECT_EQ(store.Settings().count("update"), 0u);
  EXPECT_EQ(store.Settings().at("notify"), "\"https://localhost/n\"");
}

}  // namespace
}  // namespace tidora::server::test
