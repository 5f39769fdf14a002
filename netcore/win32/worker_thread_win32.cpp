#include "netcore/win32/worker_thread_win32.h"

#include <windows.h>

#include <memory>

namespace kst {
namespace {

DWORD WINAPI RunWork(void* parameter) noexcept {
  const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
  try {
    (*work)();
  } catch (...) {
    // The work's own failures are its to report; a thread of ours ends quietly.
  }
  return 0;
}

}  // namespace

bool StartWorkerThread(std::function<void()> work) noexcept {
  try {
    auto owned = std::make_unique<std::function<void()>>(std::move(work));
    HANDLE thread = CreateThread(nullptr, 0, RunWork, owned.get(), 0, nullptr);
    if (thread == nullptr) return false;
    owned.release();
    CloseHandle(thread);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace kst
