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
}

void SilentDialog::ShowMessage(const MessageText& message) { m_log.Message(message, false); }

void SilentDialog::End(int) { ::SetEvent(m_hEnded.get()); }

}  // namespace qf
