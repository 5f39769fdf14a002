#include "sender/wake_assistant.h"

#include <algorithm>

#include "netcore/address_text.h"

namespace kst {

std::vector<TNetworkInterface> InterfacesOf(std::span<const TAdapterRecord> adapters, uint32_t broadcastIndex) {
  std::vector<TNetworkInterface> result;
  for (const auto& adapter : adapters) {
    uint32_t gateway = 0;
    for (const auto& g : adapter.GatewayList) {
      if ((gateway = StrToIp(g.IpAddress)) != 0) break;
    }
    for (const auto& entry : adapter.IpAddressList) {
      const uint32_t address = StrToIp(entry.IpAddress);
      const uint32_t mask = StrToIp(entry.IpMask);
      if (address == 0 || mask == 0) continue;
      result.push_back({address, mask, adapter.Description, gateway, broadcastIndex != 0 && adapter.Index == broadcastIndex});
    }
  }
  return result;
}

const TNetworkInterface* InterfaceFor(std::span<const TNetworkInterface> interfaces, uint32_t address) {
  for (const auto& i : interfaces) {
    if ((address & i.Mask) == (i.Address & i.Mask)) return &i;
  }
  return nullptr;
}

namespace {

const TNetworkInterface* InterfaceWithAddress(std::span<const TNetworkInterface> interfaces, uint32_t address) {
  for (const auto& i : interfaces) {
    if (i.Address == address) return &i;
  }
  return nullptr;
}

// Where the system sends what is on none of its networks: the first interface with a router.
const TNetworkInterface* DefaultInterface(std::span<const TNetworkInterface> interfaces) {
  for (const auto& i : interfaces) {
    if (i.Gateway != 0) return &i;
  }
  return nullptr;
}

const TNetworkInterface* BroadcastInterface(std::span<const TNetworkInterface> interfaces) {
  for (const auto& i : interfaces) {
    if (i.BroadcastRoute) return &i;
  }
  return nullptr;
}

int PrefixLength(uint32_t mask) {
  int bits = 0;
  for (; mask & 0x80000000u; mask <<= 1) ++bits;
  return bits;
}

std::string NetworkText(uint32_t network, uint32_t mask) { return IpToStr(network) + "/" + std::to_string(PrefixLength(mask)); }

// A /31 or /32 address: no network of neighbours around it to watch or to sweep.
bool PointToPoint(const TNetworkInterface& i) { return ~i.Mask < 2; }

}  // namespace

bool TRoute::Unicast() const {
  if (Kind != TRouteKind::OnLink || Mask == 0 || Destination == 0xFFFFFFFFu) return false;
  const uint32_t host = Destination & ~Mask;
  return host != 0 && host != ~Mask;
}

TRoute FindRoute(const THostRecord& record, std::span<const TNetworkInterface> interfaces,
                 const std::function<bool(uint32_t)>& isLocal) {
  TRoute route;
  const auto local = static_cast<uint32_t>(record.LocalIpAddress);
  route.Local = local;
  if (local != 0 && !isLocal(local)) {
    route.Kind = TRouteKind::LocalMissing;
    return route;
  }
  // A send uses the address first, the name only while there is no address.
  route.Destination = static_cast<uint32_t>(record.BroadcastAddress);
  if (route.Destination == 0 && !record.BroadcastHost.empty()) {
    if (!IsAddressText(record.BroadcastHost)) {
      route.Kind = TRouteKind::NameAtFirstSend;
      return route;
    }
    route.Destination = StrToIp(record.BroadcastHost);
  }
  if (route.Destination == 0) {
    route.Kind = TRouteKind::NoDestination;
    return route;
  }
  // The limited broadcast never leaves the link of the interface it goes out of.
  const bool limited = route.Destination == 0xFFFFFFFFu;
  const TNetworkInterface* from = nullptr;
  if (local != 0) {
    from = InterfaceWithAddress(interfaces, local);
  } else {
    // The limited broadcast leaves by the interface of the system's best route for it.
    from = limited ? BroadcastInterface(interfaces) : InterfaceFor(interfaces, route.Destination);
    if (!from) from = DefaultInterface(interfaces);
    if (!from && !interfaces.empty()) from = &interfaces.front();
  }
  if (from) {
    route.Local = from->Address;
    route.Adapter = from->Description;
  }
  const TNetworkInterface* reached = nullptr;
  if (limited || (from && (route.Destination & from->Mask) == (from->Address & from->Mask)))
    reached = from;
  else if (local == 0)
    reached = InterfaceFor(interfaces, route.Destination);
  if (reached || limited) {
    route.Kind = reached && PointToPoint(*reached) ? TRouteKind::PointToPoint : TRouteKind::OnLink;
    if (reached) {
      route.Mask = reached->Mask;
      route.Network = reached->Address & reached->Mask;
    }
    return route;
  }
  // Bound to one address, the packet leaves through that address's router when it has one.
  const TNetworkInterface* router = from && from->Gateway != 0 ? from : DefaultInterface(interfaces);
  if (!router) {
    route.Kind = TRouteKind::NoRoute;
    return route;
  }
  route.Kind = TRouteKind::ThroughGateway;
  route.Gateway = router->Gateway;
  return route;
}

std::vector<std::string> RouteLines(const THostRecord& record, const TRoute& route) {
  const std::string& name = record.ComputerName;
  const std::string port = std::to_string(record.Port);
  const std::string adapter = route.Adapter.empty() ? std::string("no adapter found") : route.Adapter;
  const std::string path = name + ": from " + IpToStr(route.Local) + " (" + adapter + ") to " +
                           IpToStr(route.Destination) + ", port " + port;
  switch (route.Kind) {
    case TRouteKind::OnLink:
      if (route.Unicast())
        return {path + ", on this network",
                "The packet reaches only " + IpToStr(route.Destination) +
                    ", once its MAC address is known here or its adapter answers ARP; after a send Kestrune "
                    "watches for " + name + " to answer ARP."};
      return {path + ", on this network",
              "The packet reaches every computer of this network; after a send Kestrune watches for " + name +
                  " to answer ARP."};
    case TRouteKind::ThroughGateway: {
      const std::string to = IpToStr(route.Destination);
      const std::string line = path + ", through the gateway " + IpToStr(route.Gateway);
      // Only the other network knows its mask: x.y.z.255 is taken for a broadcast address, and an
      // address ending in fewer than two one bits can be none.
      if ((route.Destination & 0xFFu) == 0xFFu)
        return {line, "Routers drop broadcasts for other networks by default: the router that delivers to the network "
                      "of " + to + " must forward UDP port " + port +
                          " there (a directed-broadcast rule), or send from a computer of that network."};
      std::string hint = "A packet to one address is routed like any other, but the router that delivers it finds a "
                         "sleeping computer only by ARP: it needs a static ARP entry for " + to +
                         ", or an adapter that answers ARP while its computer sleeps.";
      if ((route.Destination & 3u) == 3u)
        hint += " If " + to + " is its network's broadcast address, that router must forward UDP port " + port +
                " there instead.";
      return {line, hint};
    }
    case TRouteKind::PointToPoint:
      return {path + ", over a link with no network of its own",
              NetworkText(route.Network, route.Mask) + " has no neighbours of its own (a VPN, most likely): the packet "
              "goes to the other end of the link, and Kestrune cannot see a computer answer beyond it."};
    case TRouteKind::NoRoute:
      return {path + ", on no network of this computer",
              "No router is known for that network: the send will most likely fail."};
    case TRouteKind::LocalMissing:
      return {name + ": the local address " + IpToStr(route.Local) + " is not on this computer",
              "The send will fail: choose a local address of this computer, or any, in the computer's settings."};
    case TRouteKind::NameAtFirstSend:
      return {name + ": the router name " + record.BroadcastHost + " is resolved at the first send, port " + port,
              "Its address is kept afterwards and shown here."};
    case TRouteKind::NoDestination:
      break;
  }
  return {name + ": no destination address", "Give the computer a broadcast address or a router name."};
}

bool TArpBudget::Book(TTime now, std::span<const TTime> offsets, int kind, int kindLimit) {
  // Requests older than a window share none with a request to come.
  const auto old = std::find_if(FAt.begin(), FAt.end(), [&](const TRequest& r) { return r.At >= now - kWindow; });
  FAt.erase(FAt.begin(), old);
  std::vector<TRequest> next = FAt;
  for (TTime offset : offsets) {
    const TRequest request{now + offset, kind};
    next.insert(std::upper_bound(next.begin(), next.end(), request,
                                 [](const TRequest& a, const TRequest& b) { return a.At < b.At; }),
                request);
  }
  // The fullest window holding a new request begins at a request no earlier than a window before it.
  for (TTime offset : offsets) {
    const TTime at = now + offset;
    for (size_t i = 0; i < next.size(); ++i) {
      if (next[i].At <= at - kWindow || next[i].At > at) continue;
      int all = 0, same = 0;
      for (size_t j = i; j < next.size() && next[j].At < next[i].At + kWindow; ++j) {
        ++all;
        if (next[j].Kind == kind) ++same;
      }
      if (all > kArpPerSecond || same > kindLimit) return false;
    }
  }
  FAt = std::move(next);
  return true;
}

void TTablesBeforeSend::Starting(uint64_t hostId, TWatchTime now, const std::function<TNeighbourTable()>& read) {
  std::shared_ptr<const TNeighbourTable> table;
  {
    std::lock_guard<std::mutex> guard(FLock);
    if (FLast && now - FLastStart < kChainGap) table = FLast;
    FLastStart = now;
  }
  if (!table) table = std::make_shared<const TNeighbourTable>(read());
  std::lock_guard<std::mutex> guard(FLock);
  FLast = table;
  FByHost[hostId] = std::move(table);
}

std::shared_ptr<const TNeighbourTable> TTablesBeforeSend::Take(uint64_t hostId) {
  std::lock_guard<std::mutex> guard(FLock);
  const auto found = FByHost.find(hostId);
  if (found == FByHost.end()) return nullptr;
  auto table = std::move(found->second);
  FByHost.erase(found);
  return table;
}

uint32_t AddressInName(const std::string& name) {
  if (name.empty() || name.back() != ')') return 0;
  const size_t open = name.rfind(" (");
  if (open == std::string::npos) return 0;
  const std::string inner = name.substr(open + 2, name.size() - open - 3);
  return IsAddressText(inner) ? StrToIp(inner) : 0;
}

bool IsLookupName(const std::string& name) {
  if (name.empty() || name.size() > 253 || IsAddressText(name)) return false;
  size_t label = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (c == '.') {
      if (label == 0 || name[i - 1] == '-') return false;
      label = 0;
      continue;
    }
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!letter && (c != '-' || label == 0)) return false;
    if (++label > 63) return false;
  }
  return label > 0 && name.back() != '-';
}

namespace {

std::string Seconds(TWatchTime t) { return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(t).count()); }

// "A, B, C", as many as fit in max characters, then "…".
std::string NameList(const std::vector<std::string>& names, size_t max) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string next = (i ? ", " : "") + names[i];
    if (i > 0 && text.size() + next.size() > max) return text + ", \xE2\x80\xA6";
    text += next;
  }
  return text;
}

std::string AddressList(const std::vector<uint32_t>& addresses) {
  std::string text;
  for (size_t i = 0; i < addresses.size() && i < 4; ++i) text += (i ? ", " : "") + IpToStr(addresses[i]);
  return addresses.size() > 4 ? text + ", \xE2\x80\xA6" : text;
}

constexpr const char* kNoWakeHint =
    "Check Wake-on-LAN in its firmware and its adapter's power settings, that the packet reaches its network "
    "(the same network, or a router that forwards it), and run Vellamar on a computer there to see it arrive.";
constexpr const char* kArpMayBeTheAdapter = "some adapters answer ARP for their computer while it sleeps.";

}  // namespace

TWakeWatch::TWakeWatch(std::vector<TNetworkInterface> interfaces, bool group, bool systemStates, TTime giveUpAfter)
    : FInterfaces(std::move(interfaces)), FGroup(group), FSystemStates(systemStates), FGiveUpAfter(giveUpAfter) {}

bool TWakeWatch::Probeable(uint32_t address) const {
  const TNetworkInterface* net = InterfaceFor(FInterfaces, address);
  if (!net || address == 0xFFFFFFFFu) return false;
  const uint32_t host = address & ~net->Mask;
  if (host == 0 || host == ~net->Mask) return false;
  return std::none_of(FInterfaces.begin(), FInterfaces.end(),
                      [&](const TNetworkInterface& i) { return i.Address == address; });
}

void TWakeWatch::AddCandidate(TWatched& w, uint32_t address) {
  if (Probeable(address) && std::find(w.Candidates.begin(), w.Candidates.end(), address) == w.Candidates.end())
    w.Candidates.push_back(address);
}

bool TWakeWatch::Watching(const TWatched& w) const {
  if (w.State != TState::Waiting && w.State != TState::AnsweredBefore) return false;
  return w.Scope == TScope::Network || (w.Scope == TScope::TooWide && (!w.Candidates.empty() || w.LookupPending));
}

bool TWakeWatch::WantsSweep(const TWatched& w, TTime now) const {
  return w.Scope == TScope::Network && w.State == TState::Waiting &&
         (w.Candidates.empty() || now - w.Start >= kSweepAfterSilence);
}

bool TWakeWatch::Watches(uint64_t hostId) const {
  return std::any_of(FTargets.begin(), FTargets.end(), [&](const TWatched& w) { return w.Target.HostId == hostId; });
}

void TWakeWatch::Add(TWatchTarget target, const TNeighbourTable& table, TTime now, bool lookupPending) {
  auto found = std::find_if(FTargets.begin(), FTargets.end(),
                            [&](const TWatched& w) { return w.Target.HostId == target.HostId; });
  if (found == FTargets.end()) found = FTargets.insert(FTargets.end(), TWatched{});
  TWatched& w = *found;
  w = TWatched{};
  w.Target = std::move(target);
  w.Start = now;
  w.LookupPending = lookupPending;
  FDeadline = now + FGiveUpAfter;
  const TRoute& route = w.Target.Route;
  if (w.Target.Mac == 0) {
    w.Scope = TScope::NoMac;
    return;
  }
  if (route.Kind != TRouteKind::OnLink || route.Mask == 0) {
    w.Scope = TScope::OtherNetwork;
    return;
  }
  if (std::none_of(FInterfaces.begin(), FInterfaces.end(), [&](const TNetworkInterface& i) {
        return i.Mask == route.Mask && (i.Address & i.Mask) == route.Network;
      })) {
    w.Scope = TScope::Moved;
    return;
  }
  const uint64_t addresses = uint64_t{~route.Mask} + 1;
  w.Scope = addresses < 4 || addresses - 2 > kMaxSweepAddresses ? TScope::TooWide : TScope::Network;
  for (const auto& row : table.Entries) {
    if (row.Mac != w.Target.Mac) continue;
    // Even an entry that no longer answers tells where the computer lived.
    AddCandidate(w, row.Address);
    if (!row.Valid()) continue;
    w.HeldAtSend.insert(row.Address);
    if (FSystemStates && row.State == TNeighbourState::Reachable && w.State == TState::Waiting &&
        Probeable(row.Address)) {
      w.State = TState::AnsweredBefore;
      w.At = row.Address;
      w.Asked = true;
      w.ConfirmedAtSend = true;
    }
  }
  AddCandidate(w, AddressInName(w.Target.Name));
  if (IsAddressText(w.Target.Name)) AddCandidate(w, StrToIp(w.Target.Name));
  if (route.Unicast()) AddCandidate(w, route.Destination);
  if (w.Scope == TScope::Network) FSweeps.try_emplace(route.Network, TSweep{route.Network, route.Mask, route.Network + 1});
  Table(table);
}

void TWakeWatch::AddCandidates(uint64_t hostId, std::span<const uint32_t> addresses) {
  for (auto& w : FTargets) {
    if (w.Target.HostId != hostId || w.Scope == TScope::NoMac || w.Scope == TScope::OtherNetwork) continue;
    w.LookupPending = false;
    for (uint32_t a : addresses) AddCandidate(w, a);
  }
}

bool TWakeWatch::Remove(uint64_t hostId) {
  const auto before = FTargets.size();
  std::erase_if(FTargets, [&](const TWatched& w) { return w.Target.HostId == hostId; });
  return FTargets.size() != before;
}

std::vector<uint32_t> TWakeWatch::Due(TTime now, TArpBudget& budget, bool scanRunning,
                                      const std::function<std::span<const TTime>(uint32_t)>& requestsOf) {
  std::vector<uint32_t> probes;
  if (Finished(now)) return probes;
  std::erase_if(FInFlight, [&](const auto& entry) { return now - entry.second >= kProbeLost; });
  const auto asked = [&](uint32_t address) {
    probes.push_back(address);
    FInFlight[address] = now;
    FAskedAt[address] = now;
  };
  // Candidates, each in turn: whoever waits, and whoever answered before the packet, for a
  // silence and an answer that would follow.
  std::vector<uint32_t> candidates;
  for (auto& w : FTargets) {
    if (!Watching(w)) continue;
    for (uint32_t a : w.Candidates) {
      if (std::find(candidates.begin(), candidates.end(), a) == candidates.end() && !FSetByHand.count(a))
        candidates.push_back(a);
    }
  }
  const size_t n = candidates.size();
  const size_t start = FNextCandidate;
  for (size_t i = 0; i < n; ++i) {
    const size_t turn = (start + i) % n;
    const uint32_t a = candidates[turn];
    if (FInFlight.count(a)) continue;
    const auto answered = FAnsweredAt.find(a);
    if (answered != FAnsweredAt.end() && now - answered->second < kReaskAnswered) continue;
    if (!budget.Book(now, requestsOf(a), 0)) {
      FNextCandidate = turn;
      break;
    }
    asked(a);
    for (auto& w : FTargets) {
      if (Watching(w) && std::find(w.Candidates.begin(), w.Candidates.end(), a) != w.Candidates.end()) w.Asked = true;
    }
    FNextCandidate = turn + 1;
  }
  if (scanRunning) {
    for (auto& w : FTargets) w.SearchHeld = w.SearchHeld || WantsSweep(w, now);
    return probes;
  }
  // The search is over and the sweeps go on: if they do not finish, the search was not why.
  for (auto& w : FTargets) w.SearchHeld = false;
  // The sweeps take what is left, keeping about a request a second for each candidate.
  const int sweepLimit = kArpPerSecond - static_cast<int>(std::min<size_t>(n, kArpPerSecond));
  std::vector<TSweep*> sweeps;
  for (auto& [network, sweep] : FSweeps) {
    const uint32_t first = network;  // named apart: clang 14 lets no lambda capture a structured binding
    if (std::any_of(FTargets.begin(), FTargets.end(),
                    [&](const TWatched& w) { return WantsSweep(w, now) && w.Target.Route.Network == first; }))
      sweeps.push_back(&sweep);
  }
  for (size_t tried = 0; !sweeps.empty() && sweepLimit > 0 && tried < sweeps.size();) {
    TSweep& sweep = *sweeps[FNextSweep++ % sweeps.size()];
    const uint32_t last = sweep.Network | ~sweep.Mask;
    // The next address of the pass that is not asked already; a pass that ends starts again.
    uint32_t a = 0;
    for (uint32_t k = 0; k <= ~sweep.Mask && a == 0; ++k) {
      const uint32_t next = sweep.Next;
      sweep.Next = next + 1 >= last ? sweep.Network + 1 : next + 1;
      if (Probeable(next) && !FInFlight.count(next) && !FOthers.count(next) && !FSetByHand.count(next)) a = next;
    }
    if (a == 0 || !budget.Book(now, requestsOf(a), 1, sweepLimit)) {
      if (a != 0) sweep.Next = a;  // asked first next time
      ++tried;
      continue;
    }
    tried = 0;
    asked(a);
  }
  return probes;
}

void TWakeWatch::Evidence(const TAddressEvidence& e) {
  FInFlight.erase(e.Address);
  if (e.Evidence.Verdict == TArpVerdict::Silent) FSilentAt[e.Address] = e.At;
  if (!e.Evidence.Answered() || e.Evidence.Mac == 0) return;
  FAnsweredAt[e.Address] = e.At;
  for (auto& w : FTargets) {
    if (w.Target.Mac != e.Evidence.Mac || e.At < w.Start ||
        (w.Scope != TScope::Network && w.Scope != TScope::TooWide))
      continue;
    AddCandidate(w, e.Address);
    if (w.State == TState::WokeUp || w.State == TState::AnsweredAfter) continue;
    const auto silent = FSilentAt.find(e.Address);
    w.Asked = true;
    if (silent != FSilentAt.end() && silent->second >= w.Start) {
      w.State = TState::WokeUp;
      w.SilentAfter = silent->second - w.Start;
    } else if (w.State == TState::AnsweredBefore) {
      continue;
    } else if (e.Evidence.Kind == TAnswerKind::Confirmed && w.HeldAtSend.count(e.Address)) {
      w.State = TState::AnsweredBefore;
    } else {
      w.State = TState::AnsweredAfter;
    }
    w.At = e.Address;
    w.After = e.At - w.Start;
  }
}

void TWakeWatch::Table(const TNeighbourTable& table) {
  if (!table.Known) return;
  FOthers.clear();
  FSetByHand.clear();
  for (const auto& row : table.Entries) {
    if (row.Mac == 0) continue;
    if (row.State == TNeighbourState::Permanent) {
      FSetByHand.insert(row.Address);
      continue;
    }
    // Only a fresh answer keeps the sweep away: a Stale entry may be a week old, its address
    // leased since to the computer watched. (Wine shows every valid entry as Reachable.)
    if (row.State == TNeighbourState::Reachable && std::none_of(FTargets.begin(), FTargets.end(),
                                    [&](const TWatched& w) { return w.Target.Mac == row.Mac; }))
      FOthers.insert(row.Address);
    for (auto& w : FTargets) {
      if (w.Target.Mac == row.Mac && (w.Scope == TScope::Network || w.Scope == TScope::TooWide))
        AddCandidate(w, row.Address);
    }
  }
}

TWakeWatch::TTime TWakeWatch::CoveredSince(uint32_t network, uint32_t mask) const {
  TTime since = TTime::max();
  for (uint32_t a = network + 1; a < (network | ~mask); ++a) {
    if (!Probeable(a) || FOthers.count(a) || FSetByHand.count(a)) continue;
    const auto at = FAskedAt.find(a);
    if (at == FAskedAt.end()) return TTime::min();
    since = std::min(since, at->second);
  }
  return since;
}

TWakeWatch::TNotAsked TWakeWatch::NotAsked(const TWatched& w) const {
  if (w.Scope == TScope::Moved) return TNotAsked::Moved;
  if (w.Asked) return TNotAsked::No;
  if (w.Scope == TScope::TooWide) return TNotAsked::TooWide;
  // Asked wherever it may be: every address of its network since its packet.
  if (CoveredSince(w.Target.Route.Network, w.Target.Route.Mask) >= w.Start) return TNotAsked::No;
  return w.SearchHeld ? TNotAsked::Search : TNotAsked::Sweep;
}

bool TWakeWatch::Finished(TTime now) const {
  if (FTargets.empty()) return false;
  if (now >= FDeadline) return true;
  return std::none_of(FTargets.begin(), FTargets.end(), [&](const TWatched& w) { return Watching(w); });
}

std::vector<std::string> TWakeWatch::SingleLines(const TWatched& w, bool over) const {
  const std::string& name = w.Target.Name;
  const std::string mac = MacToStr(w.Target.Mac);
  const TRoute& route = w.Target.Route;
  switch (w.Scope) {
    case TScope::NoMac:
      return {name + " has no MAC address: Kestrune cannot see it wake up",
              "Give it the MAC address of its network adapter in its settings."};
    case TScope::OtherNetwork:
      if (route.Kind == TRouteKind::ThroughGateway)
        return {name + " is on another network: Kestrune cannot see it wake up",
                "Its packet leaves through the router " + IpToStr(route.Gateway) +
                    "; Kestrune sees a computer answer only on a network of this computer."};
      if (route.Kind == TRouteKind::PointToPoint)
        return {name + " is on another network: Kestrune cannot see it wake up",
                "Its packet leaves by " + NetworkText(route.Network, route.Mask) +
                    ", a link with no network of its own; Kestrune sees a computer answer only on a network of this "
                    "computer."};
      return {name + " is on another network: Kestrune cannot see it wake up",
              "Kestrune sees a computer answer only on a network of this computer."};
    case TScope::Moved:
      return {name + " was not asked: this computer's networks changed",
              "The route line showed " + NetworkText(route.Network, route.Mask) +
                  ", which is no longer a network of this computer; send again to watch the networks it has now."};
    case TScope::Network:
    case TScope::TooWide:
      break;
  }
  const std::string at = IpToStr(w.At);
  switch (w.State) {
    case TState::WokeUp:
      return {name + " woke up after " + Seconds(w.After) + " s at " + at,
              "It was silent at " + at + " " + Seconds(w.SilentAfter) + " s after the packet and answered for " + mac +
                  " there at " + Seconds(w.After) + " s: it woke up in between."};
    case TState::AnsweredAfter:
      return {name + " answered ARP at " + at + " " + Seconds(w.After) + " s after the packet",
              "It answered for " + mac + " but was not seen silent there before: it may have been awake already; " +
                  kArpMayBeTheAdapter};
    case TState::AnsweredBefore:
      // Checked only after the send, the entry may have been answered by a computer that woke in
      // the seconds the check took.
      return {name + " answered ARP at " + at + " before the packet was sent",
              w.ConfirmedAtSend
                  ? "The system had a fresh answer from it at the send: it was awake, or its adapter answers ARP "
                    "while it sleeps. Kestrune keeps asking: a silence and a new answer would show here."
                  : "What this computer knew of it before the send was still answered 8 s later: it was awake, woke "
                    "within those seconds, or its adapter answers ARP while it sleeps."};
    case TState::Waiting:
      break;
  }
  const std::string network = NetworkText(route.Network, route.Mask);
  const std::string giveAddress = "Give its address in its name, as \"" + name + " (a.b.c.d)\", or send to that address.";
  if (over || !Watching(w)) {
    switch (NotAsked(w)) {
      case TNotAsked::No:
        return {name + " has not answered after 2 minutes", kNoWakeHint};
      case TNotAsked::Search:
        return {name + " was not asked while a search ran", "A search asks every address itself; send again after it."};
      case TNotAsked::Sweep:
        return {name + " was not asked: the sweep of its network did not finish",
                "In 2 minutes Kestrune did not ask every address of " + network +
                    " within 15 ARP requests a second, where computers' known addresses come first. " + giveAddress};
      case TNotAsked::TooWide:
      case TNotAsked::Moved:
        break;
    }
    return {name + " was not asked: its network is too wide to sweep",
            "Its network " + network + " has more addresses than Kestrune asks by ARP in a minute. " + giveAddress};
  }
  const std::string where = !w.Candidates.empty()           ? "at " + AddressList(w.Candidates)
                            : w.Scope == TScope::TooWide ? "at the addresses the name server gives for it"
                                                         : "across " + network;
  return {"Waiting for " + name + " to wake up", "Kestrune asks by ARP for " + mac + " " + where +
                                                     ", at most 15 requests a second, for up to 2 minutes."};
}

std::vector<std::string> TWakeWatch::GroupLines(bool over, size_t maxNames) const {
  const size_t m = FTargets.size();
  std::vector<std::string> woke, after, before, silent, away, wide, unasked, unswept, moved, noMac;
  size_t waiting = 0;
  for (const auto& w : FTargets) {
    const std::string& name = w.Target.Name;
    if (w.Scope == TScope::NoMac)
      noMac.push_back(name);
    else if (w.Scope == TScope::OtherNetwork)
      away.push_back(name);
    else if (w.Scope == TScope::Moved)
      moved.push_back(name);
    else if (w.State == TState::WokeUp)
      woke.push_back(name);
    else if (w.State == TState::AnsweredAfter)
      after.push_back(name);
    else if (w.State == TState::AnsweredBefore)
      before.push_back(name);
    else if (!Watching(w))
      wide.push_back(name);
    else if (!over)
      ++waiting;
    else
      switch (NotAsked(w)) {
        case TNotAsked::No: silent.push_back(name); break;
        case TNotAsked::TooWide: wide.push_back(name); break;
        case TNotAsked::Search: unasked.push_back(name); break;
        case TNotAsked::Sweep: unswept.push_back(name); break;
        case TNotAsked::Moved: moved.push_back(name); break;
      }
  }
  const std::string of = " of " + std::to_string(m) + " computers";
  const size_t answered = woke.size() + after.size() + before.size();
  std::vector<std::string> lines;
  if (waiting > 0) {
    lines.push_back("Waiting for " + std::to_string(waiting) + of + " to wake up");
  } else if (answered == m) {
    lines.push_back(m == 2 ? std::string("Both computers answered ARP") : "All " + std::to_string(m) + " computers answered ARP");
  } else {
    lines.push_back(std::to_string(answered) + of + " answered ARP" +
                    (silent.empty() ? std::string() : "; not answering: " + NameList(silent, maxNames)));
  }
  const auto add = [&](const char* what, const std::vector<std::string>& names) {
    if (!names.empty()) lines.push_back(what + NameList(names, maxNames));
  };
  add("Woke up: ", woke);
  add("Answered ARP after the packet, not seen silent before: ", after);
  add("Answered ARP before the packet was sent: ", before);
  add("On another network, not seen from here: ", away);
  add("Not asked, the network is too wide to sweep: ", wide);
  add("Not asked while a search ran: ", unasked);
  add("Not asked, the sweep of their network did not finish: ", unswept);
  add("Not asked, this computer's networks changed: ", moved);
  add("No MAC address to watch for: ", noMac);
  if (!silent.empty()) lines.push_back(kNoWakeHint);
  return lines;
}

std::vector<std::string> TWakeWatch::Lines(TTime now, size_t maxNames) const {
  if (FTargets.empty()) return {};
  const bool over = Finished(now);
  if (FTargets.size() == 1) return SingleLines(FTargets.front(), over);
  return GroupLines(over, maxNames);
}

}  // namespace kst
