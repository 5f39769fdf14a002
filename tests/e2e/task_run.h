// Kestrune started as a scheduled task starts it, where nobody answers a message box: what the
// test learns is its exit code, whether it showed a window meanwhile, and the lines it wrote in
// the event log (Wine writes their strings on its debug channel "eventlog").
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace kst::e2e {

struct TTaskRun {
  std::optional<DWORD> ExitCode;  // nothing when it had not ended by the time-out (it is ended then)
  bool WindowShown = false;       // on the test's own desktop
  // One per string of each event, in order: "err office-pc", "warn office-pc". Only under
  // tests/e2e/unattended/run-as-system, which keeps Wine's debug output.
  std::vector<std::string> EventLines;
};

// Runs kestrune.exe with the arguments to its end, on the desktop given as "station\desktop"
// (empty: the test's own).
TTaskRun RunKestruneAsTask(const std::wstring& arguments, const std::wstring& desktop = L"",
                           std::chrono::milliseconds timeout = std::chrono::seconds(15));

// A window station that no user sees, with a desktop: where a task that runs whether the user
// is logged on or not runs. Its desktop's name for RunKestruneAsTask.
class THiddenStation {
 public:
  THiddenStation();
  ~THiddenStation();
  THiddenStation(const THiddenStation&) = delete;
  THiddenStation& operator=(const THiddenStation&) = delete;
  bool Made() const noexcept { return FStation && FDesktop; }
  std::wstring Desktop() const { return L"KestruneTestStation\\Default"; }

 private:
  HWINSTA FStation = nullptr;
  HDESK FDesktop = nullptr;
};

}  // namespace kst::e2e
