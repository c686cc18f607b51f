// Window search by exact title, the foreground window and the Yes/No question
// box of the Windows desktop. Runs on worker threads as well as the main
// thread; none of it takes the toolkit's lock.
#include "platform/platform.h"
#include "platform/windows/wide_text.h"

#include <windows.h>

#include <string>

namespace platform {

WindowHandle findTopLevelWindow(const std::string &title) {
  std::wstring wideTitle;
  if (!windows::widen(title, wideTitle)) return 0;
  return reinterpret_cast<WindowHandle>(FindWindowExW(nullptr, nullptr, nullptr, wideTitle.c_str()));
}

WindowHandle foregroundWindow() { return reinterpret_cast<WindowHandle>(GetForegroundWindow()); }

// No display connection of our own to lose on Windows.
void handleDisplayLossOffMainThread(void (*)()) {}

Answer askYesNo(WindowHandle owner, const std::string &text, const std::string &title) {
  std::wstring wideText, wideTitle;
  // A text that cannot be shown faithfully is not agreed to.
  if (!windows::widen(text, wideText) || !windows::widen(title, wideTitle)) return Answer::No;
  // The box runs its own message loop on the asking thread and waits there.
  int pressed = MessageBoxW(reinterpret_cast<HWND>(owner), wideText.c_str(), wideTitle.c_str(),
                            MB_YESNO | MB_ICONQUESTION);
  return pressed == IDYES ? Answer::Yes : Answer::No;
}

}  // namespace platform
