// Replays every kept fuzz input (fuzz/corpus and fuzz/regressions) through
// the fuzz target's own checks, which abort on a fault.
#include <dirent.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace tidora::server::test {
namespace {

TEST(FuzzRegressionTest, KeptInputsPassTheFuzzChecks) {
  size_t replayed = 0;
  for (const char* folder : {"/fuzz/corpus", "/fuzz/regressions"}) {
    std::string path = std::string(TIDORA_SERVER_SOURCE) + folder;
    DIR* dir = opendir(path.c_str());
    ASSERT_NE(dir, nullptr) << path;
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      std::ifstream file(path + "/" + entry->d_name, std::ios::binary);
      std::ostringstream text;
      text << file.rdbuf();
      std::string input = text.str();
      SCOPED_TRACE(entry->d_name);
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
      ++replayed;
    }
    closedir(dir);
  }
  EXPECT_GE(replayed, 4u);
}

}  // namespace
}  // namespace tidora::server::test
