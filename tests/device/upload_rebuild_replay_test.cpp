// Replays the corpus of the rebuild fuzz target (fuzz/corpus/device_rebuild,
// seeds and whatever the fuzzer found) through the same entry point, so every
// input that once mattered keeps running in the normal test build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "../../fuzz/device_rebuild_fuzz.cpp"

namespace {

TEST(UploadRebuildReplayTest, EveryCorpusInputRunsClean) {
  const std::filesystem::path corpus =
      std::filesystem::path(KST_SOURCE_DIR) / "fuzz" / "corpus" / "device_rebuild";
  ASSERT_TRUE(std::filesystem::is_directory(corpus)) << corpus;
  int inputs = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    SCOPED_TRACE(entry.path().string());
    EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
    ++inputs;
  }
  EXPECT_GT(inputs, 0);
}

}  // namespace
