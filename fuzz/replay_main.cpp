// replay_main.cpp -- runs a fuzz target over every file of its saved corpus,
// so the normal test build keeps each parser's past crashers fixed.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int runs = 0;
  for (int i = 1; i < argc; i++) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i], ec)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      runs++;
    }
    if (ec) {
      fprintf(stderr, "can't read corpus %s: %s\n", argv[i], ec.message().c_str());
      return 1;
    }
  }
  printf("replayed %d inputs\n", runs);
  return runs > 0 ? 0 : 1;
}
