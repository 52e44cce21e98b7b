#include "ConsoleRun.h"

#include <cstdlib>

#include "support/TestFiles.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace qf::test {

Captured RunCaptured(const std::vector<std::filesystem::path>& command) {
  TempDir dir;
  const std::filesystem::path output = dir / "output.txt";
  Captured captured;
#ifdef _WIN32
  // The shell takes the whole line in quotes, and drops the first and the last.
  std::wstring line = L"\"";
  for (const auto& part : command) line += L"\"" + part.wstring() + L"\" ";
  captured.exitCode = _wsystem((line + L">\"" + output.wstring() + L"\" 2>&1\"").c_str());
#else
  std::string line;
  for (const auto& part : command) line += "'" + part.string() + "' ";
  const int status = std::system((line + ">'" + output.string() + "' 2>&1").c_str());
  if (status != -1 && WIFEXITED(status)) captured.exitCode = WEXITSTATUS(status);
#endif
  const Bytes bytes = ReadBytes(output);
  captured.output.assign(bytes.begin(), bytes.end());
  return captured;
}

#ifdef _WIN32
std::u16string WmicManufacturer(const wchar_t* alias) {
  const std::string bytes = RunCaptured({L"wmic", alias, L"get", L"manufacturer"}).output;
  // Read as UTF-16LE, the order of this machine's own units.
  const std::u16string text(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
  // The mark and the heading, then the value on the second line.
  std::u16string value = text.substr(std::min(text.find(u'\n'), text.size() - 1) + 1);
  value = value.substr(0, value.find_first_of(u"\r\n"));
  while (!value.empty() && value.back() == u' ') value.pop_back();
  return value;
}
#endif

}  // namespace qf::test
