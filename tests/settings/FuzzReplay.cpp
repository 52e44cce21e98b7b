// Runs a fuzz target without libFuzzer, for compilers that lack it: on the
// files named on the command line, then on a fixed series of inputs made of
// the format's own pieces, so sanitizer builds exercise the parser too.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<uint8_t> Utf16(const std::u16string& text) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }

  const std::u16string pieces[] = {u"[",
                                   u"]",
                                   u"\r\n",
                                   u"\n",
                                   u"\r",
                                   u"=",
                                   u"\t",
                                   u"cpu",
                                   u"Advanced",
                                   u" ",
                                   u"1",
                                   u";",
                                   std::u16string(1, u'\0'),
                                   std::u16string(300, u'x'),
                                   std::u16string(1030, u'y'),
                                   u"\U0001F600",
                                   u"\xD800"};
  std::mt19937 random(20240601);
  constexpr int kInputs = 3000;
  for (int n = 0; n < kInputs; ++n) {
    std::u16string text = (random() % 8 == 0) ? u"" : u"\xFEFF";
    const int count = static_cast<int>(random() % 40);
    for (int k = 0; k < count; ++k) text += pieces[random() % std::size(pieces)];
    std::vector<uint8_t> bytes = Utf16(text);
    if (random() % 4 == 0 && !bytes.empty()) bytes.pop_back();  // an odd last byte
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("fuzz replay: %d files, %d generated inputs, no fault\n", argc - 1, kInputs);
  return 0;
}
