#include "ConsoleRun.h"

#include <windows.h>

#include <atomic>
#include <stdexcept>

#include "sys/Unique.h"

namespace qf::platform::test {

Captured RunCaptured(std::wstring commandLine) {
  static std::atomic<int> counter{0};
  qf::test::TempDir dir;
  const std::filesystem::path outputPath = dir / ("output-" + std::to_string(counter++) + ".txt");
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  sys::UniqueFile output(CreateFileW(outputPath.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output) throw std::runtime_error("cannot create the output file");

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output.get();
  startup.hStdError = output.get();
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &process)) {
    throw std::runtime_error("the command did not start");
  }
  sys::UniqueHandle processHandle(process.hProcess), thread(process.hThread);
  WaitForSingleObject(processHandle.get(), INFINITE);
  Captured captured;
  DWORD exitCode = 0;
  GetExitCodeProcess(processHandle.get(), &exitCode);
  captured.exitCode = exitCode;
  output.reset();
  captured.output = qf::test::ReadBytes(outputPath);
  return captured;
}

std::u16string WmicManufacturer(const std::wstring& alias) {
  const qf::test::Bytes bytes = RunCaptured(L"wmic " + alias + L" get manufacturer").output;
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  if (!text.empty() && text.front() == 0xFEFF) text.erase(0, 1);
  // The heading line, then the value line.
  const std::size_t headingEnd = text.find(u'\n');
  if (headingEnd == std::u16string::npos) return u"<no value line>";
  std::u16string value = text.substr(headingEnd + 1);
  value = value.substr(0, value.find_first_of(u"\r\n"));
  while (!value.empty() && value.back() == u' ') value.pop_back();
  return value;
}

}  // namespace qf::platform::test
