// What the test sandbox (tools/sandbox) tells the Windows tests: the LAN's addresses and the
// peer computer's log of received datagrams.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kst::test {

// Environment variable, or empty.
std::string Env(const char* name);
// True inside tools/sandbox; network tests refuse to run anywhere else.
bool InSandbox();
// The Unix path as Wine's Z: drive shows it.
std::string WinePath(const std::string& unixPath);

std::string Hex(std::span<const uint8_t> bytes);

struct TPeerDatagram {
  std::string Source;
  uint16_t SourcePort = 0;
  std::string Destination;
  uint16_t DestinationPort = 0;
  std::string PayloadHex;
};

// Every datagram the peer computer logged so far.
std::vector<TPeerDatagram> ReadPeerLog();
// Waits until a logged datagram satisfies the predicate; the first such one, or nothing.
std::optional<TPeerDatagram> WaitForPeerDatagram(const std::function<bool(const TPeerDatagram&)>& match,
                                                 std::chrono::milliseconds timeout = std::chrono::seconds(3));
// Asks the peer computer to send datagrams (see tools/peer_agent.py) and waits until it did.
bool PeerSend(const std::string& address, uint16_t port, std::span<const uint8_t> payload, int count = 1,
              uint16_t sourcePort = 0);
// Asks the peer computer to send count datagrams at a steady rate (datagrams per second) and
// waits until it has sent them: magic packets (102 bytes) whose MAC address counts up from
// firstMac, or, with every above 1, one such packet in every that many datagrams and other
// UDP datagrams between them (see tools/peer_agent.py).
bool PeerSendWakeStream(const std::string& address, uint16_t port, uint64_t firstMac, int count, uint16_t sourcePort,
                        int rate, int every = 1);

// Keys and mouse actions through the X server, as a user makes them (tools/input_agent.py):
// the visible window with this caption gets the X focus, then each action runs in order:
// "key Down", "key shift+F10", "type Lab-One", "mousemove X Y" (screen pixels), "mousedown 1",
// "mouseup 1", "doubleclick 1". The keys reach the control focused in Wine's active window,
// which X does not choose. Returns once the X server has them: "ok", or what failed.
std::string UserInput(const std::string& caption, const std::vector<std::string>& actions);

// How the sandbox resolves unknown names, reverse lookups among them, for programs started
// afterwards (tools/name_server.py): "refuse" (the default: at once), "answer" (the LAN's name
// server answers at once, with an address for the names it knows), "slow SECONDS" (it answers
// after that long) or "silent" (it never answers).
bool UseNames(const std::string& mode);
// How often the LAN's name server has been asked for the name (lower case) since the sandbox
// began, answered or not.
int NameServerQueries(const std::string& name);
// Changes this machine's LAN for programs running now: "add 10.77.0.N/24" or "del 10.77.0.N/24"
// (an address of its own), or leaves a neighbour entry (LeaveNeighbourEntry); waits until done.
bool ChangeAddress(const std::string& request);
// Puts the sleeping computer with the MAC ("02-77-00-00-01-31") back to sleep: it leaves the LAN
// until its next magic packet (tools/sleeping_computers.py); waits until done.
bool PutToSleep(const std::string& mac);
// Brings up a computer never seen before, awake, at the address with the MAC ("02-77-00-00-02-61"),
// until PutToSleep(mac); waits until done.
bool BringUp(const std::string& address, const std::string& mac);

// Leaves a neighbour entry for the address on this machine, as a computer that answered a while
// ago does: kind "stale" (valid until the next datagram makes Linux check it) or "failed"
// (unreachable, its old MAC kept); or "permanent", one set by hand. mac as "02-77-00-00-00-40".
bool LeaveNeighbourEntry(const std::string& kind, const std::string& address, const std::string& mac);
// ARP requests from this machine seen on the LAN so far (tools/sleeping_computers.py counts
// them); -1 when the counter does not answer.
long ArpRequestsFromHost();
// Each of them: when it arrived (seconds since 1970, the peer's clock, the same as this
// machine's), whether it went to every computer or to one MAC (the system checking an entry it
// holds), and the address it asked for.
struct TArpRequest {
  double Time = 0;
  bool Broadcast = false;
  std::string Address;
};
std::vector<TArpRequest> ArpRequestsLogFromHost();
// This machine's clock as the sandbox's agents log it: seconds since 1970.
double WallClockNow();

}  // namespace kst::test
