// How the wake assistant asks by ARP, on either kind of system: where the system resolves an
// address on request (Windows), each probe is one blocking call; where it cannot (Wine), a
// datagram makes it resolve and the neighbour table shows what came of it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "sender/wake_assistant.h"

namespace kst {

class IWakeProber {
 public:
  virtual ~IWakeProber() = default;
  // When the system will send the ARP requests of a probe of the address, for the budget.
  virtual std::span<const TWatchTime> RequestsOf(uint32_t address) const = 0;
  virtual void Ask(uint32_t address, TWatchTime now) = 0;
  // What the probes learnt since the last call; table: the neighbour table as read at now.
  virtual std::vector<TArpEvidence> Collect(std::span<const TNeighbourSeen> table, TWatchTime now) = 0;
};

// Each probe is a call that blocks until the address answers (its MAC) or the system gives up
// (0), run on threads of its own so that the watch never waits: threads still blocked when the
// prober goes are left to end by themselves.
class TResolverProber final : public IWakeProber {
 public:
  using TResolve = std::function<uint64_t(uint32_t)>;
  using TClock = std::function<TWatchTime()>;
  using TStart = std::function<void(std::function<void()>)>;
  static constexpr size_t kMaxThreads = 16;

  // start runs a function on a new thread (empty: a detached std::thread); it may throw.
  TResolverProber(TResolve resolve, TClock clock, TStart start = {});
  ~TResolverProber() override;

  std::span<const TWatchTime> RequestsOf(uint32_t address) const override;
  void Ask(uint32_t address, TWatchTime now) override;
  std::vector<TArpEvidence> Collect(std::span<const TNeighbourSeen> table, TWatchTime now) override;

 private:
  struct TShared;
  std::shared_ptr<TShared> F;
  TStart FStart;
};

// Each probe is a datagram that makes the system resolve the address; the neighbour table then
// tells. An entry that turns valid after the datagram is an answer; one that was valid before
// only once it is still valid when Linux has checked it (kConfirmAfter: a stale entry waits 5 s,
// then asks up to three times a second apart); an entry unreachable or absent kSilentAfter after
// the datagram is a silence.
class TDatagramProber final : public IWakeProber {
 public:
  static constexpr TWatchTime kSilentAfter{3000};
  static constexpr TWatchTime kConfirmAfter{8000};
  static constexpr TWatchTime kLost{12000};

  explicit TDatagramProber(std::function<void(uint32_t)> send) : FSend(std::move(send)) {}

  std::span<const TWatchTime> RequestsOf(uint32_t address) const override;
  void Ask(uint32_t address, TWatchTime now) override;
  std::vector<TArpEvidence> Collect(std::span<const TNeighbourSeen> table, TWatchTime now) override;

 private:
  struct TAsked {
    TWatchTime Sent{};
    bool ValidBefore = false;
    bool Lapsed = false;  // seen unreachable since the datagram
  };
  std::function<void(uint32_t)> FSend;
  std::map<uint32_t, bool> FValid;  // the last table read: which addresses held a valid entry
  std::map<uint32_t, TAsked> FAsked;
};

}  // namespace kst
