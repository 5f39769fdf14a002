// Driving the shipped programs from outside, as a user would: start them with a command line,
// find their windows and message boxes, read what they show, press their buttons, and keep a
// screenshot as a test artefact. Runs under Wine inside tools/sandbox.
//
// Under Wine, WM_GETTEXT works across processes (long texts too) and SendMessage(BM_CLICK)
// presses a message box's button (PostMessage does not). A process takes about 2 s to end
// after its window closes, so waits for an exit should allow 5 s or more.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "netcore/win32/handles_win32.h"

namespace kst::e2e {

using namespace std::chrono_literals;

// The Windows path of a program built in this tree (a Unix path from CMake).
std::wstring ProgramPath(const char* unixPath);

// One started program. Its output is not captured: Wine's helper processes would hold a pipe
// open long after the program ended. A program still running when the object goes is
// terminated, so that a failed test does not leave it behind for the next one.
class TProcess {
 public:
  // Starts program with the arguments (already quoted as the program expects them) and, when
  // given, the show command a shortcut passes (SW_SHOWMAXIMIZED for "Run: Maximized");
  // nothing when CreateProcessW fails.
  static std::optional<TProcess> Start(const std::wstring& program, const std::wstring& arguments = L"",
                                       std::optional<WORD> show = std::nullopt);

  TProcess(TProcess&&) noexcept = default;
  TProcess& operator=(TProcess&&) noexcept = default;
  ~TProcess();

  DWORD Id() const noexcept { return FId; }
  bool Running() const noexcept;
  // Ends the process at once, as a crash would, and waits until it has gone (true also when it
  // had already ended).
  bool Terminate() const noexcept;
  // The exit code once the process has ended, or nothing after the time-out.
  std::optional<DWORD> WaitExit(std::chrono::milliseconds timeout = 10s) const noexcept;

 private:
  TProcess(TUniqueHandle process, DWORD id) noexcept : FProcess(std::move(process)), FId(id) {}
  TUniqueHandle FProcess;
  DWORD FId = 0;
};

// Every visible top-level window of the process.
std::vector<HWND> ProcessWindows(DWORD processId);
// The first visible top-level window of the process whose class (when not empty) and caption
// (when not empty) match exactly; waits up to the time-out for it to appear.
HWND FindProcessWindow(DWORD processId, const std::wstring& className, const std::wstring& caption,
                       std::chrono::milliseconds timeout = 10s);
// The first child (at any depth) of the given class, counting from 0 among those of that class.
HWND FindChild(HWND parent, const std::wstring& className, int index = 0);
// The child with the control identifier, at any depth.
HWND FindChildById(HWND parent, int id);

// Any window's or control's text, in UTF-8; empty when the window does not answer within 5 s.
std::string WindowText(HWND window);
std::string ClassName(HWND window);

// A message box ("#32770") of the process, waiting for it to appear, and its message text.
HWND FindMessageBox(DWORD processId, std::chrono::milliseconds timeout = 10s);
std::string MessageBoxText(HWND box);
// A dialog item's text, and setting it (as WM_SETTEXT, synchronously); texts in UTF-8.
std::string ItemText(HWND dialog, int id);
void SetItemText(HWND dialog, int id, const std::string& text);
void SetText(HWND window, const std::string& text);
// The window with the keyboard focus in the thread of the given window.
HWND FocusedWindow(HWND window);
// Presses a button of a dialog or message box by identifier (IDOK, IDYES...), synchronously.
bool PressButton(HWND dialog, int id);
// Presses the button whose text is given ("OK", "&Yes"...).
bool PressButtonByText(HWND dialog, const std::wstring& text);

// Waits until the predicate holds or the time-out passes; the last result.
template <class Predicate>
bool WaitUntil(Predicate predicate, std::chrono::milliseconds timeout = 5s) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (predicate()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    Sleep(20);
  }
}

// Takes a picture of the whole screen into $KST_ARTIFACTS/NAME.png (through the sandbox's
// screenshot agent) and returns that Unix path; empty when no picture came within 10 s.
std::string TakeScreenshot(const std::string& name);

}  // namespace kst::e2e
