// Replays every file under the given folders through the profile file fuzz
// target, so the corpus runs as an ordinary test (under the sanitizers in the
// sanitizer build). A failing input aborts with its name printed first.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    for (const auto& item : std::filesystem::recursive_directory_iterator(argv[i], error)) {
      if (!item.is_regular_file()) continue;
      std::ifstream in(item.path(), std::ios::binary);
      const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
      std::fprintf(stderr, "%s\n", item.path().c_str());
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++replayed;
    }
    if (error) {
      std::fprintf(stderr, "cannot read %s: %s\n", argv[i], error.message().c_str());
      return 1;
    }
  }
  std::printf("%d inputs replayed\n", replayed);
  return replayed > 0 ? 0 : 1;
}
