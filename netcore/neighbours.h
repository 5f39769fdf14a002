// What the neighbour (ARP) table and the platform's ARP calls tell about an address, and which of
// it counts as an answer. The scan and the wake assistant take their evidence from here alone.
//
// Two platforms, two kinds of evidence:
// - Where the system resolves on request (Windows: ResolveIpNetEntry2, which flushes the entry and
//   asks anew; SendARP only where that is missing, and SendARP may answer from the cache), a
//   resolution that succeeds with a MAC is an answer, one that fails is silence.
// - Where it cannot (Wine: SendARP answers ERROR_NOT_SUPPORTED), one datagram makes the system
//   resolve the address and the table shows what came of it. The table there comes from Linux,
//   whose STALE, DELAY and PROBE entries look as valid as REACHABLE ones and whose FAILED entries
//   may keep an old MAC; so an entry counts only when it turned valid after the datagram, or when
//   it was valid before and is still valid once Linux has checked it (kConfirmAfter).
// Times are the caller's clock (steady, any epoch), in milliseconds.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace kst {

using TNeighbourTime = std::chrono::milliseconds;

// --- The neighbour table ---

// The platform's NL_NEIGHBOR_STATE numbers.
enum class TNeighbourState : uint8_t { Unreachable, Incomplete, Probe, Delay, Stale, Reachable, Permanent };

struct TNeighbourEntry {
  uint32_t Address = 0;  // address value
  uint64_t Mac = 0;      // 0: none (or an address of another length than six bytes)
  TNeighbourState State = TNeighbourState::Unreachable;
  bool IsUnreachable = false;  // the platform's own flag (Wine sets it on every unresolved entry)
  uint32_t InterfaceIndex = 0;

  // Holds an answer by the table's word: not unreachable, whatever MAC it still carries, and a
  // MAC that is not 0 (the multicast entries, and addresses being resolved, show none).
  bool Valid() const;
};

struct TNeighbourTable {
  // False when the table could not be read: no information, which is not an empty table.
  bool Known = false;
  std::vector<TNeighbourEntry> Entries;

  // The address's valid entry if it has one, else its first entry; nullptr when it has none.
  const TNeighbourEntry* Find(uint32_t address) const;
};

// --- What counts ---

// Linux gives up on an address that does not answer after three requests a second apart.
inline constexpr TNeighbourTime kSilenceAfter{3000};
// Linux checks a STALE entry 5 s after the next datagram to it, with up to three requests a
// second apart: REACHABLE again, or FAILED about 8 s after the datagram. Its timers may fire a
// few hundred milliseconds late, hence the margin.
inline constexpr TNeighbourTime kConfirmAfter{8500};
// The most ARP requests one probe (a resolution, or a datagram) puts on the wire, the system's
// own retransmissions included: three for a silent address (three unicast checks for a stale
// entry instead), under Linux and Windows alike with their default settings.
inline constexpr int kArpRequestsPerProbe = 3;

enum class TArpVerdict : uint8_t {
  Unknown,   // nothing decided yet, or nothing could be asked
  Answered,  // Mac holds the answer
  Silent,    // asked, and nobody answered
};

enum class TAnswerKind : uint8_t {
  None,
  Resolved,   // a resolution on request succeeded
  Fresh,      // the entry turned valid (or changed its MAC) after the datagram
  Confirmed,  // the entry was valid before the datagram and still is kConfirmAfter later
};

struct TArpEvidence {
  TArpVerdict Verdict = TArpVerdict::Unknown;
  uint64_t Mac = 0;
  TAnswerKind Kind = TAnswerKind::None;

  bool Answered() const { return Verdict == TArpVerdict::Answered; }
  bool Decided() const { return Verdict != TArpVerdict::Unknown; }
  friend bool operator==(const TArpEvidence&, const TArpEvidence&) = default;
};

// A resolution on request: mac 0 is never an answer.
TArpEvidence ResolvedEvidence(bool answered, uint64_t mac);

// One datagram sent to one address, and what the tables read since show of it. The rules:
// - an entry that is not valid (unreachable, absent, MAC 0) at least kSilenceAfter after the
//   datagram is silence; before that it is nothing yet;
// - a valid entry is an answer when the address had no valid entry before the datagram, when it
//   carries another MAC than before, or when it was seen not valid after the datagram;
// - a valid entry that was valid before (or whose state before is unknown: the read before
//   failed) is an answer only in a read begun kConfirmAfter after the datagram or later;
// - a Permanent entry (set by hand, as for a computer that sleeps) tells nothing either way: the
//   system sends to its MAC without asking.
// A table that could not be read tells nothing; a read begun before the datagram is ignored.
// Once decided, the evidence stays.
class TSolicitation {
 public:
  // before: the last table read begun before the datagram (Known false: none could be read).
  TSolicitation(uint32_t address, const TNeighbourTable& before, TNeighbourTime sentAt);

  const TArpEvidence& Observe(const TNeighbourTable& table, TNeighbourTime readAt);
  const TArpEvidence& Evidence() const { return FEvidence; }
  uint32_t Address() const { return FAddress; }
  TNeighbourTime SentAt() const { return FSentAt; }
  // Whether only the confirmation time can decide a valid entry.
  bool NeedsConfirmation() const { return FNeedsConfirmation; }
  // Whether the address had a valid entry before the datagram. Linux checks such an entry by
  // unicast to the MAC it holds, so its silence says nothing of another adapter that took the
  // address since.
  bool HadValidEntry() const { return FMacBefore != 0; }
  // The time from which a read decides the address whatever it shows: kConfirmAfter after the
  // datagram when it needs confirmation, else kSilenceAfter.
  TNeighbourTime DecidedBy() const;

 private:
  uint32_t FAddress;
  TNeighbourTime FSentAt;
  bool FNeedsConfirmation;
  uint64_t FMacBefore;
  bool FDropped = false;  // seen not valid after the datagram
  TArpEvidence FEvidence;
};

// --- The platform ---

// The Windows calls, or a stand-in that behaves as they do. Every member may be called from
// several threads at once.
class INeighbourPlatform {
 public:
  virtual ~INeighbourPlatform() = default;
  // Whether Resolve asks on the wire. False (Wine): only Solicit and the table tell.
  virtual bool CanResolve() = 0;
  // Asks the address by ARP and blocks until it answers or the system gives up (about 3 s);
  // Unknown when it could not ask. Costs up to kArpRequestsPerProbe requests.
  virtual TArpEvidence Resolve(uint32_t address) = 0;
  // Sends one datagram that makes the system resolve the address, and returns at once; false when
  // it could not be sent. Costs up to kArpRequestsPerProbe requests.
  virtual bool Solicit(uint32_t address) = 0;
  virtual TNeighbourTable ReadTable() = 0;
};

// --- Clocks ---

class IClock {
 public:
  virtual ~IClock() = default;
  virtual TNeighbourTime Now() = 0;
  virtual void SleepUntil(TNeighbourTime until) = 0;
};

// The system's steady clock; its epoch is its first use.
IClock& SteadyClock();

// A clock that moves only when told: tests and models. Sleepers wake when it reaches their time.
class TManualClock : public IClock {
 public:
  TNeighbourTime Now() override;
  void SleepUntil(TNeighbourTime until) override;

  void Advance(TNeighbourTime by);
  // Threads asleep in SleepUntil now, and the earliest time one of them waits for.
  size_t Sleepers();
  std::optional<TNeighbourTime> NextWake();

 private:
  struct TWait {
    TNeighbourTime Until;
    std::condition_variable* Woken;  // only those whose time has come are woken
  };
  std::mutex FLock;
  TNeighbourTime FNow{0};
  std::vector<TWait> FWaits;
};

// --- Win32 layer ---

// The neighbour table through GetIpNetTable2 (ERROR_NOT_FOUND: an empty table; any other failure:
// not Known).
TNeighbourTable ReadNeighbourTable2();
// The Windows calls: ResolveIpNetEntry2 where the system has it, else SendARP where that works
// (not under Wine), datagrams to the discard port, GetIpNetTable2.
INeighbourPlatform& SystemNeighbours();
// The platform the programs use: SystemNeighbours unless a test or a model put another in place.
INeighbourPlatform& NeighbourPlatform();
// nullptr: SystemNeighbours again. Set it before the threads that use it start.
void UseNeighbourPlatform(INeighbourPlatform* platform);

}  // namespace kst
