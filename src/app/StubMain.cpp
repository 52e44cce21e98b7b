// The stub's entry point and composition root: the single-instance guard, the
// switches, the log, the run object and the dialog that shows it (or, with /S,
// the silent run that shows nothing).
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <optional>

#include "app/FileLogSink.h"
#include "app/InstallerRun.h"
#include "app/ProgressDialog.h"
#include "app/SilentDialog.h"
#include "package/PayloadDigest.h"
#include "package/StubRecord.h"
#include "run/ExitCode.h"
#include "run/StubOptions.h"
#include "sys/File.h"
#include "sys/Unique.h"

// Who this stub is, in a section of its own where the builder finds it; the
// builder fills in the digest fields of the copy it puts in an installer.
// Read through volatile: its bytes are only known once the installer is built.
extern "C" __attribute__((section(".qfstub"), used))
const volatile qf::package::StubRecordLayout g_stubRecord = {"Quillfen",
                                                             QF_VERSION_ASCII,
#ifdef __x86_64__
                                                             qf::package::PeHeaders::kMachineAmd64,
#else
                                                             qf::package::PeHeaders::kMachineI386,
#endif
                                                             qf::package::kStubRecordLayout,
                                                             0,
                                                             0,
                                                             0,
                                                             0,
                                                             qf::package::kDigestAlgorithmsChecked,
                                                             {}};

namespace {

// The reader needs only the digest fields; the rest says who the stub is to the tools.
qf::package::StubRecord OwnRecord() {
  qf::package::StubRecord record;
  record.algorithm = g_stubRecord.algorithm;
  record.digestsAt = g_stubRecord.digestsAt;
  record.entryCount = g_stubRecord.entryCount;
  record.listDigest = g_stubRecord.listDigest;
  return record;
}

constexpr wchar_t kMutexName[] = L"{CB62C436-C656-4fce-9D19-B95D6208C904}";

// Keeps every later DLL load in System32: the stub usually runs from a
// Downloads folder, beside files it does not control. Runs before any other
// DLL is loaded: only kernel32 is imported at start-up.
void RestrictDllSearchToSystem32() {
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  // Older systems lack it; they get no restriction.
  const auto set = reinterpret_cast<SetDirectories>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (set != nullptr) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// The stub's own arguments, after its name.
qf::run::StubOptions ReadOptions() {
  qf::run::StubOptions options;
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (arguments == nullptr) return options;
  for (int i = 1; i < count; ++i) options.Apply(reinterpret_cast<const char16_t*>(arguments[i]));
  ::LocalFree(arguments);
  return options;
}

// One run, with its window or silent: the objects it needs, and how it ended.
qf::run::StubExit Run(HINSTANCE instance, const qf::run::StubOptions& options, const qf::run::RunLog& log) {
  qf::InstallerRun run(log, OwnRecord(), options);
  // The worker may still call its port (the last step hides the window while
  // the installer, perhaps already ended, is waited for) until Finish has
  // stopped it: the port outlives Finish.
  if (options.silent) {
    qf::SilentDialog silent(run, log);
    silent.Run();
    run.Finish();
  } else {
    qf::ProgressDialog dialog(instance, run, log);
    dialog.DoModal();
    run.Finish();
  }
  const qf::run::StubExit exit = run.ExitCode();
  if (run.WorkerStuck()) {
    // A worker that did not stop in time may still reach the dialog, the run
    // and the log, which end with this function: the process ends first, and
    // the worker with it.
    log.Write({u"exit code ", exit.code, u": ", exit.meaning});
    ::TerminateProcess(::GetCurrentProcess(), exit.code);
  }
  return exit;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  RestrictDllSearchToSystem32();
  const qf::run::StubOptions options = ReadOptions();
  std::unique_ptr<qf::FileLogSink> sink;
  if (options.log) sink = std::make_unique<qf::FileLogSink>(*options.log);
  const qf::run::RunLog log(sink && sink->IsOpen() ? sink.get() : nullptr);
  if (log.Enabled()) {
    log.Write({u"Quillfen stub " QF_VERSION_TEXT u", ", qf::sys::ExecutablePath(),
               options.silent ? std::u16string_view(u", silent") : u", with its window", u", /PARAMS=\"",
               options.parameters, u"\""});
  }

  if (!options.silent) ::InitCommonControls();
  const HANDLE created = ::CreateMutexW(nullptr, FALSE, kMutexName);
  const DWORD error = ::GetLastError();
  // Held, never waited on, until the process ends: only its existence matters.
  const qf::sys::UniqueHandle mutex(created);
  const qf::run::StubExit exit =
      error == ERROR_ALREADY_EXISTS ? qf::run::kExitAnotherCopy : Run(instance, options, log);
  // The last line: the code and what it means.
  log.Write({u"exit code ", exit.code, u": ", exit.meaning});
  return static_cast<int>(exit.code);
}
