// The tidora-server program as scripts start it: its command line, its port
// line, its settings, its exit.
#include <gtest/gtest.h>

#include <fstream>

#include "Support.h"

namespace tidora::server::test {
namespace {

std::string InitReplyOf(int port) {
  auto reply = httplib::Client("127.0.0.1", port).Get("/api.init.php");
  return reply ? reply->body : "(no reply)";
}

TEST(ProgramTest, ServesItsSettingsAndTakesChangesFromASecondRun) {
  TempDir dir;
  const std::string db = dir.Path("service.db");
  std::ofstream(dir.Path("settings.json"))
      << R"({"notify":"https://localhost/notice","name_black":["x.exe"]})";
  ServerProcess server({"--db", db, "--settings", dir.Path("settings.json"), "--set",
                        "update=https://localhost/new"});
  EXPECT_EQ(InitReplyOf(server.Port()),
            R"({"update":"https://localhost/new","notify":"https://localhost/notice",)"
            R"("name_black":["x.exe"]})");

  EXPECT_EQ(RunProgram({"--db", db, "--no-serve", "--set", "update=", "--set",
                        R"(info={"style":"hold","text":"Later"})"}),
            0);
  EXPECT_EQ(InitReplyOf(server.Port()),
            R"({"notify":"https://localhost/notice","info":{"style":"hold","text":"Later"},)"
            R"("name_black":["x.exe"]})");

  // A bad setting changes nothing and says so by its exit status.
  EXPECT_EQ(RunProgram({"--db", db, "--no-serve", "--set", "notify=", "--set", "colour=red"}), 2);
  EXPECT_NE(InitReplyOf(server.Port()).find("notify"), std::string::npos);

  EXPECT_EQ(server.Stop(), 0);
}

TEST(ProgramTest, RefusesWhatItCannotServe) {
  TempDir dir;
  EXPECT_EQ(RunProgram({"--db", dir.Path("a.db"), "--no-serve", "--bogus"}), 2);
  EXPECT_EQ(RunProgram({"--db", dir.Path("a.db"), "--cert", dir.Path("none.pem"), "--key",
                        dir.Path("none.key"), "--port", "0"}),
            1);
  EXPECT_EQ(RunProgram({"--db", dir.Path("no/such/folder/a.db"), "--no-serve"}), 1);
  EXPECT_EQ(RunProgram({"--db", dir.Path("b.db"), "--settings", dir.Path("missing.json")}), 1);
}

}  // namespace
}  // namespace tidora::server::test
