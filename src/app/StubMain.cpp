// The stub's entry point. So far it verifies the package appended to its own
// executable and shows the outcome's message; the whole run builds on this.
#include <windows.h>

#include <string>

#include "package/PackageReader.h"
#include "run/Messages.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  qf::PackageReader reader;
  const qf::ResultCode code = reader.LoadTable(reader.GetPackagePath());
  if (const auto message = qf::MessageForResult(code)) {
    const std::u16string text(message->text);
    const std::u16string caption(message->caption);
    ::MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text.c_str()),
                  reinterpret_cast<const wchar_t*>(caption.c_str()), message->flags);
  }
  return code == qf::ResultCode::Success ? 0 : static_cast<int>(code);
}
