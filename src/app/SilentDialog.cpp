#include "app/SilentDialog.h"

namespace qf {

SilentDialog::SilentDialog(InstallerRun& run, const run::RunLog& log)
    : m_run(run), m_log(log), m_hEnded(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void SilentDialog::Run() {
  if (!m_hEnded || !m_run.Start(*this)) {
    m_log.Write({u"no worker thread could be started"});
    return;
  }
  ::WaitForSingleObject(m_hEnded.get(), INFINITE);
  if (!m_waitForInstaller) return;
  // As in the window: the installer's end is seen on its process handle, or
  // by the poll of the process list, whichever comes first.
  const HANDLE process = m_run.InstallerProcess();
  while (!m_run.InstallerHasEnded()) {
    if (process == nullptr) {
      ::Sleep(kPollIntervalMs);
    } else if (::WaitForSingleObject(process, kPollIntervalMs) == WAIT_OBJECT_0) {
      break;
    }
  }
}

void SilentDialog::ShowMessage(const MessageText& message) { m_log.Message(message, false); }

void SilentDialog::End(int) { ::SetEvent(m_hEnded.get()); }

void SilentDialog::WaitForInstaller() {
  m_waitForInstaller = true;
  ::SetEvent(m_hEnded.get());
}

}  // namespace qf
