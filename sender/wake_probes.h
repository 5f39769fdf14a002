// How the wake assistant asks by ARP, over the platform's neighbour calls (netcore/neighbours.h):
// where the system resolves an address on request (Windows), each probe is one blocking call,
// run on a thread of its own; where it cannot (Wine), a datagram makes it resolve and the
// neighbour table shows what came of it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "netcore/neighbours.h"
#include "sender/wake_assistant.h"

namespace kst {

class IWakeProber {
 public:
  virtual ~IWakeProber() = default;
  // When the system will send the ARP requests of a probe of the address, for the budget.
  virtual std::span<const TWatchTime> RequestsOf(uint32_t address) const = 0;
  virtual void Ask(uint32_t address, TWatchTime now) = 0;
  // What the probes learnt since the last call; table: the neighbour table as read at now.
  virtual std::vector<TAddressEvidence> Collect(const TNeighbourTable& table, TWatchTime now) = 0;
};

// Runs a function on a new thread, which nobody waits for; it may throw.
using TThreadStart = std::function<void(std::function<void()>)>;

// The prober the platform calls for: resolutions where it resolves on request, datagrams and the
// table where it cannot. start: empty, a detached std::thread.
std::unique_ptr<IWakeProber> MakeWakeProber(INeighbourPlatform& platform, IClock& clock, TThreadStart start = {});

// Each probe is a resolution on a thread of its own, so that the watch never waits; threads
// still blocked when the prober goes are left to end by themselves.
class TResolverProber final : public IWakeProber {
 public:
  static constexpr size_t kMaxThreads = 16;

  TResolverProber(INeighbourPlatform& platform, IClock& clock, TThreadStart start);
  ~TResolverProber() override;

  std::span<const TWatchTime> RequestsOf(uint32_t address) const override;
  void Ask(uint32_t address, TWatchTime now) override;
  std::vector<TAddressEvidence> Collect(const TNeighbourTable& table, TWatchTime now) override;

 private:
  struct TShared;
  std::shared_ptr<TShared> F;
  TThreadStart FStart;
};

// Each probe is one datagram; the tables read afterwards decide it (TSolicitation).
class TDatagramProber final : public IWakeProber {
 public:
  // A datagram whose address no read decided by then is given up.
  static constexpr TWatchTime kLost{12000};

  explicit TDatagramProber(INeighbourPlatform& platform) : FPlatform(platform) {}

  std::span<const TWatchTime> RequestsOf(uint32_t address) const override;
  void Ask(uint32_t address, TWatchTime now) override;
  std::vector<TAddressEvidence> Collect(const TNeighbourTable& table, TWatchTime now) override;

 private:
  INeighbourPlatform& FPlatform;
  TNeighbourTable FLast;  // the last table read, from before the datagrams sent since
  std::map<uint32_t, TSolicitation> FAsked;
};

}  // namespace kst
