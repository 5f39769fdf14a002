// The wake assistant in the banner: how the next packet for a computer will travel, and, after a
// send, what was observed of it by ARP. Everything here is rules and texts over snapshots that the
// Win32 layer takes (adapters, neighbour table, what its probes learnt) and a clock it passes in.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "netcore/adapters.h"
#include "netcore/neighbours.h"
#include "sender/host_record.h"

namespace kst {

// One IPv4 address of this machine with its network.
struct TNetworkInterface {
  uint32_t Address = 0;
  uint32_t Mask = 0;
  std::string Description;  // the adapter's description
  uint32_t Gateway = 0;     // the adapter's first default gateway; 0: none
  bool BroadcastRoute = false;  // the system sends 255.255.255.255 out of this adapter
  bool operator==(const TNetworkInterface&) const = default;
};

// Every address with a mask of every adapter, in the snapshot's order. broadcastIndex: the index
// of the adapter the system sends 255.255.255.255 out of (0: not known).
std::vector<TNetworkInterface> InterfacesOf(std::span<const TAdapterRecord> adapters, uint32_t broadcastIndex = 0);

// The interface whose network holds the address (its broadcast address included); nullptr if none.
const TNetworkInterface* InterfaceFor(std::span<const TNetworkInterface> interfaces, uint32_t address);

// --- Where the packet goes ---

enum class TRouteKind {
  OnLink,            // the destination is on one of this machine's networks
  ThroughGateway,    // it leaves through a router
  PointToPoint,      // it leaves by an address with no network around it (a /31 or /32, as VPNs give)
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
  // On the link: the network the packet reaches, for 255.255.255.255 that of the interface it
  // leaves by.
  uint32_t Network = 0;
  uint32_t Mask = 0;

  // On the link and sent to one address, not to a whole network.
  bool Unicast() const;
};

// isLocal: the sender's own check of a stored local address.
TRoute FindRoute(const THostRecord& record, std::span<const TNetworkInterface> interfaces,
                 const std::function<bool(uint32_t)>& isLocal);

// The banner's lines for the route: the first one says it all, the others explain.
std::vector<std::string> RouteLines(const THostRecord& record, const TRoute& route);

// --- What ARP may cost ---

// The watch causes at most this many ARP requests on the wire in any one second, the system's
// own retries included (switches with ARP inspection shut a port above 15 a second).
inline constexpr int kArpPerSecond = 15;

using TWatchTime = TNeighbourTime;

// When the system sends the ARP requests that one probe causes, from the probe on: for an
// address it holds no valid entry for, up to three a second apart (Windows, and Linux's
// mcast_solicit); for an entry Linux still holds, up to three unicast ones after its 5 s delay.
inline constexpr std::array<TWatchTime, 3> kArpResolveRequests{TWatchTime(0), TWatchTime(1000), TWatchTime(2000)};
inline constexpr std::array<TWatchTime, 3> kArpRecheckRequests{TWatchTime(5000), TWatchTime(6000), TWatchTime(7000)};

// Books the ARP requests of probes so that no second holds more than allowed. A second is taken
// as a little longer than one, so that a request sent some milliseconds later than planned
// cannot put one more into a second on the wire.
class TArpBudget {
 public:
  using TTime = TWatchTime;
  // Linux sends its retries up to some 50 ms later than a second apart (its timers fire in steps).
  static constexpr TTime kWindow{1100};

  // Books a probe's requests at now + each offset when afterwards no window holds more than
  // kArpPerSecond of them, nor more than kindLimit of those booked under kind (a sweep leaves
  // room for the candidates); false, and nothing booked, otherwise.
  bool Book(TTime now, std::span<const TTime> offsets, int kind = 0, int kindLimit = kArpPerSecond);

 private:
  struct TRequest {
    TTime At;
    int Kind;
  };
  std::vector<TRequest> FAt;  // booked requests, in order of time
};

// --- Did it wake ---

// The neighbour table from before a send, for "answered before the packet": a packet to the
// computer's own address makes the system ask for it, and its entry turns Reachable within a
// millisecond, long before the send is reported. One read serves the sends that follow within
// kChainGap (Send to All), each of which starts after it. Safe to use from several threads.
class TTablesBeforeSend {
 public:
  static constexpr TWatchTime kChainGap{1000};

  // A send to the computer starts at now; read is called when no read within kChainGap serves.
  void Starting(uint64_t hostId, TWatchTime now, const std::function<TNeighbourTable()>& read);
  // The table read before the computer's last send started, and forgotten; nullptr when none.
  std::shared_ptr<const TNeighbourTable> Take(uint64_t hostId);

 private:
  std::mutex FLock;
  std::shared_ptr<const TNeighbourTable> FLast;
  TWatchTime FLastStart{};
  std::map<uint64_t, std::shared_ptr<const TNeighbourTable>> FByHost;
};

// The address in a name of the form "name (a.b.c.d)", as the scan names the computers it finds; 0
// when the name has no such address.
uint32_t AddressInName(const std::string& name);

// Whether a computer's name can be asked of the network's name server: a host name, not a label
// with blanks or an address in brackets.
bool IsLookupName(const std::string& name);

// A network is swept only when one pass of its addresses fits in a minute of the budget, each
// silent address costing three requests: 300 addresses, which a /24 fits.
inline constexpr uint32_t kMaxSweepAddresses = kArpPerSecond * 60 / 3;

struct TWatchTarget {
  uint64_t HostId = 0;
  std::string Name;  // as listed
  uint64_t Mac = 0;
  TRoute Route;      // the route of its packet, as the route line showed it at the send
};

// What one probe learnt of an address, and when.
struct TAddressEvidence {
  uint32_t Address = 0;
  TArpEvidence Evidence;
  TWatchTime At{};
};

// One watch: the computers sent to, whom to ask when, what the answers show, and its texts.
// Times are the caller's clock (steady, any epoch).
class TWakeWatch {
 public:
  using TTime = TWatchTime;
  static constexpr TTime kGiveUpAfter{120000};
  // A probe that brought no evidence within this long is taken as ended.
  static constexpr TTime kProbeLost{12000};
  // Candidates that stayed silent this long no longer hold a sweep back: the computer may have
  // moved to another address.
  static constexpr TTime kSweepAfterSilence{20000};
  // An address that answered is asked again no sooner than a silence there could show.
  static constexpr TTime kReaskAnswered = kSilenceAfter;

  // group: a watch begun by Send to All. systemStates: the table's Reachable state is the
  // system's own word for a recent answer (Windows; Wine shows every valid entry so).
  TWakeWatch(std::vector<TNetworkInterface> interfaces, bool group, bool systemStates = false,
             TTime giveUpAfter = kGiveUpAfter);

  // A computer was sent its packet at now; table is the neighbour table read before the send
  // started (TTablesBeforeSend; not Known: no answer before the packet is claimed). Adding a
  // computer already watched starts it again; every add starts the give-up time again.
  // lookupPending: its name is being asked of the name server (see AddCandidates).
  void Add(TWatchTarget target, const TNeighbourTable& table, TTime now, bool lookupPending = false);
  // The addresses the name server gave for the computer's name (none: the lookup failed).
  void AddCandidates(uint64_t hostId, std::span<const uint32_t> addresses);
  // The computer was deleted or edited: it leaves the watch. False when it was not watched.
  bool Remove(uint64_t hostId);

  // The addresses to ask now: candidates first, in turn, then sweeps with what the budget leaves;
  // no sweep while a scan runs. requestsOf: when the system will send the ARP requests of a
  // probe of that address (kArpResolveRequests or kArpRecheckRequests), for the budget.
  std::vector<uint32_t> Due(TTime now, TArpBudget& budget, bool scanRunning,
                            const std::function<std::span<const TTime>(uint32_t)>& requestsOf);

  // What a probe learnt (nothing decided: the probe ended without a word).
  void Evidence(const TAddressEvidence& evidence);
  // The neighbour table as read later: an entry for a watched MAC tells where to ask; a valid
  // entry of another computer, where a sweep need not ask (Linux would go on checking it every
  // few seconds for long after one datagram).
  void Table(const TNeighbourTable& table);

  bool Finished(TTime now) const;
  // The banner's lines at now; maxNames bounds the characters of a list of names.
  std::vector<std::string> Lines(TTime now, size_t maxNames = 160) const;

  size_t Count() const { return FTargets.size(); }
  bool Group() const { return FGroup; }
  bool Watches(uint64_t hostId) const;

 private:
  enum class TState { Waiting, AnsweredBefore, AnsweredAfter, WokeUp };
  // Moved: the route's network is none of the watch's (the addresses changed before the send).
  enum class TScope { Network, TooWide, OtherNetwork, NoMac, Moved };
  // Why a computer still waiting was asked nowhere it may be.
  enum class TNotAsked { No, TooWide, Search, Sweep, Moved };
  struct TWatched {
    TWatchTarget Target;
    TTime Start{};
    TScope Scope = TScope::Network;
    TState State = TState::Waiting;
    std::vector<uint32_t> Candidates;
    std::set<uint32_t> HeldAtSend;  // addresses whose entry held its MAC at the send
    uint32_t At = 0;                // where it answered
    TTime After{};                  // and when, from the send
    TTime SilentAfter{};            // when it was silent there before it woke, from the send
    bool Asked = false;
    bool LookupPending = false;
    bool ConfirmedAtSend = false;  // the system itself vouched for the answer before the send
    bool SearchHeld = false;       // a scan held its sweep back
  };
  struct TSweep {
    uint32_t Network = 0, Mask = 0;
    uint32_t Next = 0;  // the next address to ask
  };

  void AddCandidate(TWatched& w, uint32_t address);
  bool Probeable(uint32_t address) const;
  bool Watching(const TWatched& w) const;
  bool WantsSweep(const TWatched& w, TTime now) const;
  // The earliest of the last times every address of the network was asked (min: one never was),
  // addresses where another computer answers left out.
  TTime CoveredSince(uint32_t network, uint32_t mask) const;
  TNotAsked NotAsked(const TWatched& w) const;
  std::vector<std::string> SingleLines(const TWatched& w, bool over) const;
  std::vector<std::string> GroupLines(bool over, size_t maxNames) const;

  std::vector<TNetworkInterface> FInterfaces;
  bool FGroup;
  bool FSystemStates;
  TTime FGiveUpAfter;
  std::vector<TWatched> FTargets;
  std::map<uint32_t, TTime> FSilentAt;   // the last silence observed at each address
  std::map<uint32_t, TTime> FInFlight;   // addresses asked, until their evidence comes
  std::map<uint32_t, TTime> FAskedAt;    // when each address was last asked
  std::map<uint32_t, TTime> FAnsweredAt; // when each address last answered
  std::set<uint32_t> FOthers;            // addresses where another computer answers
  // Addresses whose entry was set by hand: the system sends to that MAC without asking, and a
  // resolution on Windows would flush the entry the user made for a sleeping computer.
  std::set<uint32_t> FSetByHand;
  std::map<uint32_t, TSweep> FSweeps;    // by network
  size_t FNextCandidate = 0;             // the turn among the candidates
  size_t FNextSweep = 0;                 // the turn among the sweeps
  TTime FDeadline{};
};

}  // namespace kst
