// The server's command line.
#include <gtest/gtest.h>

#include "Options.h"

namespace tidora::server {
namespace {

TEST(OptionsTest, DefaultsKeepTheServerOnLoopback) {
  Options options;
  std::string error;
  ASSERT_TRUE(ParseOptions({}, options, error)) << error;
  EXPECT_EQ(options.service.address, "127.0.0.1");
  EXPECT_EQ(options.service.port, 0);
  EXPECT_TRUE(options.service.certFile.empty());
  EXPECT_TRUE(options.serve);
}

TEST(OptionsTest, EveryOptionIsReadAndBadOnesRefused) {
  Options options;
  std::string error;
  ASSERT_TRUE(ParseOptions({"--address", "::1", "--port", "8443", "--cert", "c.pem", "--key",
                            "k.pem", "--db", "x.db", "--threads", "4", "--max-report", "2048",
                            "--settings", "s.json", "--set", "update=https://a", "--set",
                            "notify=", "--log", "--no-serve"},
                           options, error))
      << error;
  EXPECT_EQ(options.service.address, "::1");
  EXPECT_EQ(options.service.port, 8443);
  EXPECT_EQ(options.service.certFile, "c.pem");
  EXPECT_EQ(options.service.keyFile, "k.pem");
  EXPECT_EQ(options.database, "x.db");
  EXPECT_EQ(options.service.threads, 4);
  EXPECT_EQ(options.service.limits.maxBody, 2048u);
  EXPECT_EQ(options.settingsFile, "s.json");
  EXPECT_EQ(options.settings, (std::vector<std::string>{"update=https://a", "notify="}));
  EXPECT_TRUE(options.service.accessLog);
  EXPECT_FALSE(options.serve);

  const std::vector<std::vector<std::string>> bad = {
      {"--port", "65536"}, {"--port", "-1"},      {"--port", "80x"},  {"--port"},
      {"--threads", "0"},  {"--threads", "999"},  {"--max-report", "10"},
      {"--cert", "c.pem"}, {"--key", "k.pem"},    {"--verbose"},      {"extra"},
      {"--db", ""},        {"--address", ""},
  };
  for (const auto& args : bad) {
    Options refused;
    error.clear();
    EXPECT_FALSE(ParseOptions(args, refused, error)) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
}

}  // namespace
}  // namespace tidora::server
