// quillfen-pack: builds installers and looks inside them. Everything but the
// console and the arguments lives in the pack library.
#include <iostream>
#include <string>
#include <vector>

#include "pack/lib/Commands.h"
#include "sys/File.h"
#include "sys/Text.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  // Messages and listings are UTF-8; the console shows them as such.
  ::SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const auto text = qf::sys::Utf16ToUtf8(reinterpret_cast<const char16_t*>(argv[i]));
    if (!text) {
      std::cerr << "quillfen-pack: argument " << i << " is not valid text\n";
      return qf::pack::kExitUsage;
    }
    args.push_back(*text);
  }
  const bool terminal = ::_isatty(::_fileno(stderr)) != 0;
#else
#include <unistd.h>

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const bool terminal = ::isatty(STDERR_FILENO) != 0;
#endif
  qf::pack::Console console{std::cout, std::cerr, terminal, qf::pack::DirectoryOf(qf::sys::ExecutablePath())};
  return qf::pack::RunPack(args, console);
}
