#include "listener/firewall_session.h"

#include <system_error>

namespace kst {
namespace {

// While it waits, a job looks this often whether it was cancelled.
constexpr uint32_t kCancelCheckMs = 100;

}  // namespace

std::string FirewallLockFailedText(const std::string& why) {
  return "The firewall settings are left as they are: the lock that every Vellamar takes to change them cannot be "
         "opened (" + why + ").";
}

TFirewallSession::TFirewallSession(TFirewallPlatform platform, TNotify notify)
    : FPlatform(std::move(platform)), FNotify(std::move(notify)) {}

TFirewallSession::~TFirewallSession() {
  Cancel();
  if (FThread.joinable()) FThread.join();
}

bool TFirewallSession::UndoLeftovers() {
  return Run([this](IRegistryAccessor& registry) {
    TFirewallNotice notice;
    for (const auto& leftover : RestoreOutstandingChanges(registry, FPlatform.Running, FPlatform.MakeServices))
      notice.LogLines.push_back(LeftoverText(leftover));
    return notice;
  });
}

bool TFirewallSession::Adjust(uint8_t versionCode, bool admin) {
  return Run([this, versionCode, admin](IRegistryAccessor& registry) {
    TFirewallNotice notice;
    notice.FailedValue =
        AdjustFirewall(registry, versionCode, admin, FPlatform.MakeServices, FPlatform.Owner, FChanges);
    return notice;
  });
}

bool TFirewallSession::Undo() {
  return Run([this](IRegistryAccessor& registry) {
    // What stays is told by the next start, which tries again.
    RestoreFirewall(registry, FChanges, FPlatform.MakeServices);
    return TFirewallNotice{};
  });
}

void TFirewallSession::JobEnded() {
  if (FThread.joinable()) FThread.join();
}

bool TFirewallSession::Run(TWork work) {
  if (Busy()) return false;
  FCancel = false;
  try {
    FThread = std::thread([this, work = std::move(work)]() noexcept { Execute(work); });
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

void TFirewallSession::Execute(const TWork& work) noexcept {
  TFirewallNotice done;
  try {
    const auto lock = FPlatform.MakeLock();
    uint32_t waited = 0;
    bool told = false;
    for (;;) {
      if (FCancel) {
        done.Cancelled = true;
        break;
      }
      const auto wait = lock->Wait(kCancelCheckMs);
      if (wait == IRecordLock::TWait::Acquired) {
        struct TRelease {
          IRecordLock& Lock;
          ~TRelease() { Lock.Release(); }
        } release{*lock};
        done = work(*FPlatform.MakeRegistry());
        break;
      }
      if (wait == IRecordLock::TWait::Failed) {
        done.LogLines.push_back(FirewallLockFailedText(lock->FailureText()));
        break;
      }
      waited += kCancelCheckMs;
      if (!told && waited >= FPlatform.PatienceMs) {
        told = true;
        FNotify(TFirewallNotice{false, {kFirewallWaitingText}, {}});
      }
    }
  } catch (...) {
    // Out of memory: the job ends with what it did, each step of which the record keeps whole.
  }
  done.Done = true;
  try {
    FNotify(std::move(done));
  } catch (...) {
  }
}

}  // namespace kst
