// Runs a fuzz target without libFuzzer (the sanitizer tier replays the corpora
// this way): every file of the corpus directory given, and every prefix and suffix
// of each, which reach the states of a file cut short at either end.
#include <cstdio>

#include "support/TestFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
    const qf::test::Bytes bytes = qf::test::ReadBytes(entry.path());
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
      LLVMFuzzerTestOneInput(bytes.data(), cut);
      LLVMFuzzerTestOneInput(bytes.data() + cut, bytes.size() - cut);
    }
    ++files;
  }
  std::printf("replayed %d files with their prefixes and suffixes\n", files);
  return files > 0 ? 0 : 1;
}
