// The wake assistant in the banner: how the next packet for a computer will travel, and, after a
// send, whether the computer woke up. Everything here is rules and texts over snapshots that the
// Win32 layer takes (adapters, neighbour table, ARP answers) and a clock it passes in.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "netcore/adapters.h"
#include "netcore/local_network.h"
#include "sender/host_record.h"

namespace kst {

// One IPv4 address of this machine with its network.
struct TNetworkInterface {
  uint32_t Address = 0;
  uint32_t Mask = 0;
  std::string Description;  // the adapter's description
  uint32_t Gateway = 0;     // the adapter's first default gateway; 0: none
};

// Every address with a mask of every adapter, in the snapshot's order.
std::vector<TNetworkInterface> InterfacesOf(std::span<const TAdapterRecord> adapters);

// The interface whose network holds the address (its broadcast address included); nullptr if none.
const TNetworkInterface* InterfaceFor(std::span<const TNetworkInterface> interfaces, uint32_t address);

// --- Where the packet goes ---

enum class TRouteKind {
  OnLink,            // the destination is on one of this machine's networks
  ThroughGateway,    // it leaves through a router
  NoRoute,           // off every network of ours and no router to send it to
  LocalMissing,      // the stored local address is no longer this machine's: the send fails
  NameAtFirstSend,   // a router name not resolved yet
  NoDestination,     // nothing to send to: the send reports it as not resolved
};

struct TRoute {
  TRouteKind Kind = TRouteKind::NoDestination;
  uint32_t Local = 0;  // the address the packet leaves from (for "any": the one the system picks)
  std::string Adapter;
  uint32_t Destination = 0;
  uint32_t Gateway = 0;
};

// isLocal: the sender's own check of a stored local address.
TRoute FindRoute(const THostRecord& record, std::span<const TNetworkInterface> interfaces,
                 const std::function<bool(uint32_t)>& isLocal);

// The banner's lines for the route: the first one says it all, the others explain.
std::vector<std::string> RouteLines(const THostRecord& record, const TRoute& route);

// --- Did it wake ---

// The address in a name of the form "name (a.b.c.d)", as the scan names the computers it finds; 0
// when the name has no such address.
uint32_t AddressInName(const std::string& name);

// The widest network the assistant sweeps, and the width up to which it sweeps every round.
inline constexpr uint32_t kMaxSweepWidth = 1024;
inline constexpr uint32_t kFastSweepWidth = 256;

struct TWatchTarget {
  uint64_t HostId = 0;
  std::string Name;          // as listed
  uint64_t Mac = 0;
  uint32_t Destination = 0;  // where its packet went
};

// One watch: the computers sent to, what to probe when, which answers count, and its texts.
// Times are the caller's clock (steady, any epoch).
class TWakeWatch {
 public:
  using TTime = std::chrono::milliseconds;
  static constexpr TTime kProbeEvery{2000};
  static constexpr TTime kFastSweepEvery{2000};
  static constexpr TTime kSlowSweepEvery{10000};
  static constexpr TTime kGiveUpAfter{120000};

  // group: a watch begun by Send to All, which counts its computers.
  TWakeWatch(std::vector<TNetworkInterface> interfaces, bool group, TTime giveUpAfter = kGiveUpAfter);

  // A computer was sent its packet at now; table is the neighbour table read then, whose entries
  // for its MAC are older than the send and do not count until they have been seen to go. Adding
  // a computer already watched starts it again; every add starts the give-up time again.
  void Add(TWatchTarget target, std::span<const TNeighbourRow> table, TTime now);

  // What to ask now: candidates at most every 2 s, a network of up to 256 addresses every 2 s, a
  // wider one every 10 s, and no sweep while a scan runs. table: the neighbour table as just read,
  // whose entries for a watched MAC become candidates.
  struct TRound {
    std::vector<uint32_t> Probe;  // candidates, then the sweeps' addresses, each once
  };
  TRound Due(std::span<const TNeighbourRow> table, TTime now, bool scanRunning);
  // When Due has something again (the give-up time at the latest).
  TTime NextDue() const;

  // An ARP answer (mac 0: no answer) for address, as it came at now. A watched computer counts as
  // awake only on an answer after its send that is not its cached entry from before.
  void Answer(uint32_t address, uint64_t mac, TTime now);

  // The neighbour table as read at now, between probes: an entry for a watched MAC is its answer,
  // an entry without one (or a cached entry gone from it) a silence.
  void Table(std::span<const TNeighbourRow> table, TTime now);

  bool Finished(TTime now) const;
  // The banner's lines at now; maxNames bounds the characters of a list of names.
  std::vector<std::string> Lines(TTime now, size_t maxNames = 160) const;

  size_t Count() const { return FTargets.size(); }

 private:
  struct TWatched {
    TWatchTarget Target;
    TTime Start{};
    std::set<uint32_t> Cached;  // addresses whose entry for the MAC is older than the send
    std::optional<uint32_t> AwakeAt;
    TTime AwakeAfter{};
    bool Watchable = false;
  };
  struct TSweep {
    uint32_t First = 0, Last = 0;
    TTime Next{};
  };

  std::vector<uint32_t> Candidates(const TWatched& w, std::span<const TNeighbourRow> table) const;
  std::optional<std::pair<uint32_t, uint32_t>> SweepRange(const TWatched& w) const;
  bool Grouped() const { return FGroup || FTargets.size() > 1; }
  bool Waiting(const TWatched& w) const { return w.Watchable && !w.AwakeAt; }

  std::vector<TNetworkInterface> FInterfaces;
  bool FGroup;
  TTime FGiveUpAfter;
  std::vector<TWatched> FTargets;
  std::map<uint32_t, TTime> FSilentAt;  // the last time each address did not answer
  std::map<uint32_t, TSweep> FSweeps;   // by first address
  TTime FNextProbe{};
  TTime FDeadline{};
};

}  // namespace kst
