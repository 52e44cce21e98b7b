#pragma once

#include <windows.h>

#include "app/InstallerRun.h"
#include "run/RunHost.h"
#include "sys/Unique.h"

namespace qf {

// The only window of the stub: shows the run's progress, forwards the user's
// end to the run, and ends when the installer program has ended.
class ProgressDialog final : public run::DialogPort {
 public:
  ProgressDialog(HINSTANCE instance, InstallerRun& run, const run::RunLog& log);
  ProgressDialog(const ProgressDialog&) = delete;
  ProgressDialog& operator=(const ProgressDialog&) = delete;

  // Shows the dialog and runs its modal loop until the dialog has ended.
  INT_PTR DoModal();

  // DialogPort, called on the worker thread.
  void SetCaption(std::u16string_view caption) override;
  void SetProgressRange(int32_t upper) override;
  void SetProgressPosition(int32_t position) override;
  void SetProgressStep(int32_t step) override;
  void ShowMessage(const MessageText& message) override;
  void End(int result) override;
  void StepProgress() override;
  void Hide() override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  BOOL OnInitDialog();
  bool OnPaint();

  HINSTANCE m_instance;
  InstallerRun& m_run;
  const run::RunLog& m_log;
  HWND m_hWnd = nullptr;
  HWND m_progress = nullptr;
  HICON m_hIcon = nullptr;
  // The bar as the worker moves it: its end, the entries stepped, the last paint.
  int32_t m_upper = 0;
  int32_t m_stepped = 0;
  ULONGLONG m_lastPaint = 0;
};

}  // namespace qf
