// Runs a fuzz target over every file of its seed corpus, once, without
// libFuzzer: the seeds become part of the test suite on every build,
// compiler and processor (a cross build runs them under its emulator), each
// over every path the processor has. A failed check aborts, naming the seed.
//
//   convert_fuzzer_seeds fuzz/seeds/convert_fuzzer
#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s SEED_FOLDER\n", argv[0]);
    return 2;
  }
  DIR* dir = opendir(argv[1]);
  if (dir == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::vector<std::string> names;
  while (const dirent* e = readdir(dir))
    if (e->d_name[0] != '.') names.emplace_back(e->d_name);
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = std::string(argv[1]) + "/" + name;
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail()) {
      std::fprintf(stderr, "%s: could not be read\n", path.c_str());
      return 1;
    }
    std::fprintf(stderr, "%s\n", path.c_str());  // the seed a failed check aborts in is the last named
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu seeds\n", names.size());
  return names.empty() ? 1 : 0;
}
