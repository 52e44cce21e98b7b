// quillfen-probe: shows a package author what this machine reports to the
// installer's platform check and how a settings file's checks decide on it.
#include <windows.h>

#include <optional>
#include <string>

#include "ProbeReport.h"
#include "pack/lib/PackageReport.h"
#include "platform/WmiQuery.h"
#include "settings/IniDocument.h"
#include "sys/Text.h"
#include "sys/Unique.h"

namespace {

void Write(DWORD stream, std::u16string_view text) {
  const std::string bytes = qf::sys::Utf16ToUtf8Lossy(text);
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

  // The settings as the installer reads them: from a built installer, or
  // from a settings file converted as quillfen-pack build converts it.
  std::optional<qf::settings::IniDocument> settings;
  if (argc == 2) {
    const qf::pack::PackedSettings packed = qf::pack::ReadSettingsAsPacked(argument);
    // The installer would read missing settings as empty and pass; for the
    // author it is a mistake to name.
    if (!packed.error.empty()) {
      Write(STD_ERROR_HANDLE, u"error: cannot open the settings file \"" + argument + u"\": " +
                                  qf::sys::Utf8ToUtf16(packed.error).value_or(u"") + u"\r\n");
      return qf::probe::kExitUnusable;
    }
    settings = qf::settings::IniDocument::FromBytes(packed.bytes);
  }

  // One query object for the report and the checks, as in the installer.
  qf::platform::WmiQuery wmi;
  const qf::probe::ProbeResult result =
      qf::probe::RunProbe(wmi, qf::platform::ProcessorCpuid(), settings ? &*settings : nullptr, argument);
  Write(STD_OUTPUT_HANDLE, result.text);
  return result.exitCode;
}
