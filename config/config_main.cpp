// QuellmarConfig.exe: the configuration utility. "/reset" anywhere in the
// command line writes the shipped settings and shows nothing.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>

#include <cwchar>

#include "common/log.h"
#include "config/config_dialog.h"
#include "config/engine_link.h"
#include "config/messages.h"
#include "config/settings_writer.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int) {
  using namespace Quellmar::config;
  if (command_line && std::wcsstr(command_line, kResetSwitch)) {
    ResetStoredSettings();
    return 0;
  }
  Quellmar::Log("%s", kStartedLogLine);
  INITCOMMONCONTROLSEX icc{};
  icc.dwSize = sizeof(icc);
  icc.dwICC = ICC_STANDARD_CLASSES | ICC_BAR_CLASSES;
  InitCommonControlsEx(&icc);
  ShowConfigurationDialog(instance);
  // The preview may still be playing from the image the process owns.
  ThePreviewSound().Stop();
  return 0;
}
