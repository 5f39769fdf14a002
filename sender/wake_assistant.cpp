#include "sender/wake_assistant.h"

#include <algorithm>

#include "netcore/address_text.h"

namespace kst {

std::vector<TNetworkInterface> InterfacesOf(std::span<const TAdapterRecord> adapters) {
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
      result.push_back({address, mask, adapter.Description, gateway});
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

}  // namespace

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
    from = limited ? nullptr : InterfaceFor(interfaces, route.Destination);
    if (!from) from = DefaultInterface(interfaces);
    if (!from && !interfaces.empty()) from = &interfaces.front();
  }
  if (from) {
    route.Local = from->Address;
    route.Adapter = from->Description;
  }
  if (limited || (from && (route.Destination & from->Mask) == (from->Address & from->Mask)) ||
      (local == 0 && InterfaceFor(interfaces, route.Destination))) {
    route.Kind = TRouteKind::OnLink;
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
      return {path + ", on this network",
              "The packet reaches every computer of this network; after a send Kestrune watches for " + name +
                  " to answer."};
    case TRouteKind::ThroughGateway:
      return {path + ", through the gateway " + IpToStr(route.Gateway),
              "Routers usually drop broadcasts meant for another network: on the router " + IpToStr(route.Gateway) +
                  ", forward UDP port " + port + " to " + IpToStr(route.Destination) +
                  " (a directed-broadcast rule), or send from a computer of that network."};
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

uint32_t AddressInName(const std::string& name) {
  if (name.empty() || name.back() != ')') return 0;
  const size_t open = name.rfind(" (");
  if (open == std::string::npos) return 0;
  const std::string inner = name.substr(open + 2, name.size() - open - 3);
  return IsAddressText(inner) ? StrToIp(inner) : 0;
}

TWakeWatch::TWakeWatch(std::vector<TNetworkInterface> interfaces, bool group, TTime giveUpAfter)
    : FInterfaces(std::move(interfaces)), FGroup(group), FGiveUpAfter(giveUpAfter) {}

std::vector<uint32_t> TWakeWatch::Candidates(const TWatched& w, std::span<const TNeighbourRow> table) const {
  std::vector<uint32_t> result;
  const auto add = [&](uint32_t address) {
    if (address != 0 && InterfaceFor(FInterfaces, address) &&
        std::find(result.begin(), result.end(), address) == result.end())
      result.push_back(address);
  };
  for (const auto& row : table) {
    if (FindNeighbourMac(std::span<const TNeighbourRow>(&row, 1), row.Address) == w.Target.Mac) add(row.Address);
  }
  for (uint32_t address : w.Cached) add(address);
  add(AddressInName(w.Target.Name));
  return result;
}

std::optional<std::pair<uint32_t, uint32_t>> TWakeWatch::SweepRange(const TWatched& w) const {
  const TNetworkInterface* net = InterfaceFor(FInterfaces, w.Target.Destination);
  if (!net) return std::nullopt;
  const uint64_t width = uint64_t{~net->Mask} + 1;
  if (width > kMaxSweepWidth || width < 4) return std::nullopt;
  const uint32_t first = net->Address & net->Mask;
  return std::make_pair(first + 1, first + static_cast<uint32_t>(width) - 2);
}

void TWakeWatch::Add(TWatchTarget target, std::span<const TNeighbourRow> table, TTime now) {
  auto found = std::find_if(FTargets.begin(), FTargets.end(),
                            [&](const TWatched& w) { return w.Target.HostId == target.HostId; });
  if (found == FTargets.end()) found = FTargets.insert(FTargets.end(), TWatched{});
  TWatched& w = *found;
  w = TWatched{};
  w.Target = std::move(target);
  w.Start = now;
  for (const auto& row : table) {
    if (FindNeighbourMac(std::span<const TNeighbourRow>(&row, 1), row.Address) == w.Target.Mac)
      w.Cached.insert(row.Address);
  }
  w.Watchable = !Candidates(w, table).empty() || SweepRange(w).has_value();
  if (auto range = SweepRange(w); range && !FSweeps.count(range->first))
    FSweeps[range->first] = TSweep{range->first, range->second, now};
  FNextProbe = now;
  FDeadline = now + FGiveUpAfter;
}

TWakeWatch::TRound TWakeWatch::Due(std::span<const TNeighbourRow> table, TTime now, bool scanRunning) {
  TRound round;
  if (Finished(now)) return round;
  std::set<uint32_t> seen;
  const auto add = [&](uint32_t address) {
    if (seen.insert(address).second) round.Probe.push_back(address);
  };
  if (now >= FNextProbe) {
    for (auto& w : FTargets) {
      if (w.AwakeAt) continue;
      const auto candidates = Candidates(w, table);
      if (!candidates.empty()) w.Watchable = true;
      for (uint32_t address : candidates) add(address);
    }
    FNextProbe = now + kProbeEvery;
  }
  for (auto& entry : FSweeps) {
    const auto first = entry.first;  // named apart: clang 14 lets no lambda capture a structured binding
    auto& sweep = entry.second;
    // A network is swept only while a computer waits whose only way to be seen it is.
    const bool wanted = std::any_of(FTargets.begin(), FTargets.end(), [&](const TWatched& w) {
      const auto range = SweepRange(w);
      return Waiting(w) && range && range->first == first && Candidates(w, table).empty();
    });
    if (now < sweep.Next) continue;
    if (!wanted || scanRunning) {
      sweep.Next = now + kProbeEvery;  // looked at again with the candidates
      continue;
    }
    const uint32_t width = sweep.Last - sweep.First + 3;
    sweep.Next = now + (width <= kFastSweepWidth ? kFastSweepEvery : kSlowSweepEvery);
    for (uint32_t a = sweep.First; a <= sweep.Last; ++a) {
      if (!InterfaceFor(FInterfaces, a) || std::any_of(FInterfaces.begin(), FInterfaces.end(),
                                                       [&](const TNetworkInterface& i) { return i.Address == a; }))
        continue;
      add(a);
    }
  }
  return round;
}

TWakeWatch::TTime TWakeWatch::NextDue() const {
  TTime next = FNextProbe;
  for (const auto& [first, sweep] : FSweeps) next = std::min(next, sweep.Next);
  return std::min(next, FDeadline);
}

void TWakeWatch::Answer(uint32_t address, uint64_t mac, TTime now) {
  if (mac == 0) {
    FSilentAt[address] = now;
    return;
  }
  for (auto& w : FTargets) {
    if (w.AwakeAt || w.Target.Mac != mac || now < w.Start) continue;
    // The entry the system kept from before the send says nothing about now, until it has gone once.
    if (w.Cached.count(address)) {
      const auto silent = FSilentAt.find(address);
      if (silent == FSilentAt.end() || silent->second < w.Start) continue;
    }
    w.AwakeAt = address;
    w.AwakeAfter = now - w.Start;
    w.Watchable = true;
  }
}

void TWakeWatch::Table(std::span<const TNeighbourRow> table, TTime now) {
  std::set<std::pair<uint32_t, uint64_t>> present;
  for (const auto& row : table) {
    const uint64_t mac = FindNeighbourMac(std::span<const TNeighbourRow>(&row, 1), row.Address);
    present.insert({row.Address, mac});
    if (mac == 0 || std::any_of(FTargets.begin(), FTargets.end(), [&](const TWatched& w) { return w.Target.Mac == mac; }))
      Answer(row.Address, mac, now);
  }
  for (const auto& w : FTargets) {
    for (uint32_t address : w.Cached) {
      if (!present.count({address, w.Target.Mac})) FSilentAt[address] = now;
    }
  }
}

bool TWakeWatch::Finished(TTime now) const {
  if (FTargets.empty()) return false;
  if (now >= FDeadline) return true;
  return std::none_of(FTargets.begin(), FTargets.end(), [&](const TWatched& w) { return Waiting(w); });
}

namespace {

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

constexpr const char* kNoWakeHint =
    "Check Wake-on-LAN in its firmware and its adapter's power settings, that the packet reaches its network "
    "(the same network, or a router that forwards it), and run Vellamar on a computer there to see it arrive.";

}  // namespace

std::vector<std::string> TWakeWatch::Lines(TTime now, size_t maxNames) const {
  if (FTargets.empty()) return {};
  const bool over = Finished(now);
  if (!Grouped()) {
    const TWatched& w = FTargets.front();
    const std::string& name = w.Target.Name;
    if (w.AwakeAt) {
      const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(w.AwakeAfter).count();
      return {name + " woke up after " + std::to_string(seconds) + " s at " + IpToStr(*w.AwakeAt),
              "It answered ARP at its MAC address " + MacToStr(w.Target.Mac) + "."};
    }
    if (!w.Watchable)
      return {name + " is on another network: Kestrune cannot see it wake up",
              "Kestrune sees a computer wake up only when it is on a network of this computer."};
    if (over) return {name + " has not answered after 2 minutes", kNoWakeHint};
    return {"Waiting for " + name + " to wake up",
            "Kestrune asks by ARP for " + MacToStr(w.Target.Mac) + " every 2 seconds, for up to 2 minutes."};
  }
  const size_t m = FTargets.size();
  std::vector<std::string> awake, silent, away;
  size_t waiting = 0;
  for (const auto& w : FTargets) {
    if (w.AwakeAt)
      awake.push_back(w.Target.Name);
    else if (!w.Watchable)
      away.push_back(w.Target.Name);
    else {
      silent.push_back(w.Target.Name);
      ++waiting;
    }
  }
  std::vector<std::string> lines;
  if (!over) {
    lines.push_back("Waiting for " + std::to_string(waiting) + " of " + std::to_string(m) + " computers to wake up");
    if (!awake.empty()) lines.push_back("Woke up: " + NameList(awake, maxNames));
  } else if (awake.size() == m) {
    lines.push_back("All " + std::to_string(m) + " computers woke up");
  } else {
    std::vector<std::string> missing = silent;
    missing.insert(missing.end(), away.begin(), away.end());
    lines.push_back(std::to_string(awake.size()) + " of " + std::to_string(m) +
                    " computers woke up; not answering: " + NameList(missing, maxNames));
  }
  if (!away.empty()) lines.push_back("On another network, not seen from here: " + NameList(away, maxNames));
  if (over && awake.size() != m) lines.push_back(kNoWakeHint);
  return lines;
}

}  // namespace kst
