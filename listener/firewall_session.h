// The firewall work of one Vellamar run, kept off the window's thread. The record of changes is
// machine-wide and changed by one run at a time, under a machine-wide lock that another run may
// hold for long (while it restarts the firewall service); no run changes anything without it.
// So each job (undoing what runs that are gone left, the Firewall button, undoing this run's
// changes at exit) runs on a thread of its own, which waits for the lock, does the work, releases
// the lock and tells the window through a callback that posts to it. One job at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "listener/firewall.h"
#include "netcore/registry.h"

namespace kst {

// The machine-wide lock over the record. Made, waited for and released on the job's thread.
class IRecordLock {
 public:
  enum class TWait { Acquired, TimedOut, Failed };
  virtual ~IRecordLock() = default;
  virtual TWait Wait(uint32_t milliseconds) = 0;
  // Only after Acquired.
  virtual void Release() = 0;
  // After Failed: why the lock cannot be had, in the system's words.
  virtual std::string FailureText() = 0;
};

struct TFirewallNotice {
  bool Done = false;  // false: the job waits for the lock, which another run holds
  std::vector<std::string> LogLines;
  std::optional<std::string> FailedValue;  // the Firewall button's value that could not be written
  // With Done: the job was cancelled while it waited, so it did nothing. A cancel that comes
  // once the job holds the lock comes too late: the work is done and this stays false.
  bool Cancelled = false;
};

struct TFirewallPlatform {
  std::function<std::unique_ptr<IRecordLock>()> MakeLock;
  std::function<std::unique_ptr<IRegistryAccessor>()> MakeRegistry;
  TServiceControlFactory MakeServices;
  TOwnerRunning Running;
  std::string Owner;  // this run's tag
  // How long a job waits for the lock before it says so in the log (and then goes on waiting).
  uint32_t PatienceMs = 1000;
};

// The texts the log gets from a job that has to wait, or cannot have the lock at all.
inline constexpr char kFirewallWaitingText[] = "Waiting for another Vellamar to finish changing the firewall settings.";
std::string FirewallLockFailedText(const std::string& why);

class TFirewallSession {
 public:
  // notify runs on the job's thread; a notice with Done ends every job.
  using TNotify = std::function<void(TFirewallNotice)>;
  TFirewallSession(TFirewallPlatform platform, TNotify notify);
  // Cancels a job that still waits for the lock and waits for the job to end.
  ~TFirewallSession();
  TFirewallSession(const TFirewallSession&) = delete;
  TFirewallSession& operator=(const TFirewallSession&) = delete;

  // Each starts its job unless one runs; false then, or when no thread could be started.
  // Undoes what runs that are gone left; each change that stays is one log line.
  bool UndoLeftovers();
  // The Firewall button.
  bool Adjust(uint8_t versionCode, bool admin);
  // Undoes this run's changes, at exit.
  bool Undo();

  // From the start of a job until JobEnded.
  bool Busy() const noexcept { return FThread.joinable(); }
  // Whether this run has changes to undo; not while Busy.
  bool HasChanges() const noexcept { return !FChanges.empty(); }
  // After the job's Done notice: its thread, at its end, is joined.
  void JobEnded();
  // A job that still waits for the lock gives up without doing anything.
  void Cancel() noexcept { FCancel = true; }

 private:
  using TWork = std::function<TFirewallNotice(IRegistryAccessor&)>;
  bool Run(TWork work);
  void Execute(const TWork& work) noexcept;

  TFirewallPlatform FPlatform;
  TNotify FNotify;
  // Touched only by the running job, and by the window when none runs.
  TFirewallChanges FChanges;
  std::atomic<bool> FCancel{false};
  std::thread FThread;
};

}  // namespace kst
