// quillfen-probe: shows a package author what this machine reports to the
// installer's platform check and how a settings file's checks decide on it.
#include <windows.h>

#include <optional>
#include <string>

#include "ProbeReport.h"
#include "platform/WmiQuery.h"
#include "settings/SettingsFile.h"
#include "sys/Unique.h"

namespace {

void Write(DWORD stream, std::u16string_view text) {
  const std::string bytes = qf::probe::ToUtf8(text);
  DWORD written = 0;
  WriteFile(GetStdHandle(stream), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool IsHelp(std::u16string_view argument) {
  return argument == u"--help" || argument == u"-h" || argument == u"/?" || argument == u"-?";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);
  if (argc > 2) {
    Write(STD_ERROR_HANDLE, qf::probe::UsageText());
    return qf::probe::kExitUnusable;
  }
  const std::u16string argument = argc == 2 ? qf::sys::FromWide(argv[1]) : std::u16string();
  if (IsHelp(argument)) {
    Write(STD_OUTPUT_HANDLE, qf::probe::UsageText());
    return qf::probe::kExitPassed;
  }

  std::optional<qf::settings::SettingsFile> settings;
  if (argc == 2) {
    settings.emplace(argument);
    // The installer would read a missing file as empty settings and pass;
    // for the author it is a mistake to name.
    if (!settings->Document().Opened()) {
      Write(STD_ERROR_HANDLE,
            u"error: cannot open the settings file \"" + argument + u"\" (a path has at most 259 units)\r\n");
      return qf::probe::kExitUnusable;
    }
  }

  // One query object for the report and the checks, as in the installer.
  qf::platform::WmiQuery wmi;
  const qf::probe::ProbeResult result =
      qf::probe::RunProbe(wmi, qf::platform::ProcessorCpuid(), settings ? &settings->Document() : nullptr, argument);
  Write(STD_OUTPUT_HANDLE, result.text);
  return result.exitCode;
}
