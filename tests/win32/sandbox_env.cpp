#include "tests/win32/sandbox_env.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace kst::test {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool InSandbox() { return Env("KST_SANDBOX") == "1"; }

std::string WinePath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string Hex(std::span<const uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : bytes) {
    text += kHex[b >> 4];
    text += kHex[b & 0xF];
  }
  return text;
}

std::vector<TPeerDatagram> ReadPeerLog() {
  std::vector<TPeerDatagram> list;
  std::ifstream log(WinePath(Env("KST_PEER_LOG")));
  std::string line;
  while (std::getline(log, line)) {
    std::istringstream words(line);
    TPeerDatagram d;
    if (words >> d.Source >> d.SourcePort >> d.Destination >> d.DestinationPort >> d.PayloadHex) list.push_back(d);
  }
  return list;
}

std::optional<TPeerDatagram> WaitForPeerDatagram(const std::function<bool(const TPeerDatagram&)>& match,
                                                 std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  do {
    for (const auto& d : ReadPeerLog())
      if (match(d)) return d;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < end);
  return std::nullopt;
}

namespace {

// Hands one command line to a sandbox agent that takes files NAME.<kind> from the folder and
// renames them NAME.done once carried out, and waits for that; reply gets what the agent left
// in the file.
bool RunAgentRequest(const std::string& folder, const char* kind, const std::string& line,
                     std::chrono::milliseconds timeout, std::string* reply = nullptr) {
  static std::atomic<int> serial{0};
  const std::string base = WinePath(folder) + "\\w" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(serial++);
  {
    std::ofstream cmd(base + ".tmp");
    cmd << line << '\n';
  }
  // The agent only picks up complete files.
  if (!MoveFileA((base + ".tmp").c_str(), (base + "." + kind).c_str())) return false;
  const std::string done = base + ".done";
  const auto end = std::chrono::steady_clock::now() + timeout;
  do {
    if (GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES) {
      if (reply) std::getline(std::ifstream(done), *reply);
      DeleteFileA(done.c_str());
      return true;
    }
    Sleep(10);
  } while (std::chrono::steady_clock::now() < end);
  return false;
}

bool RunPeerCommand(const std::string& line, std::chrono::milliseconds timeout) {
  return RunAgentRequest(Env("KST_PEER_COMMANDS"), "cmd", line, timeout);
}

}  // namespace

std::string UserInput(const std::string& caption, const std::vector<std::string>& actions) {
  std::string request = caption;
  for (const auto& a : actions) request += '\n' + a;
  std::string reply;
  if (!RunAgentRequest(Env("KST_INPUT"), "keys", request, std::chrono::seconds(20), &reply))
    return "the input agent did not answer";
  return reply;
}

bool LeaveNeighbourEntry(const std::string& kind, const std::string& address, const std::string& mac) {
  return ChangeAddress(kind + ' ' + address + ' ' + mac);
}

namespace {

// Asks the ARP counter (an empty file NAME.<kind>) and reads its answer (NAME.done) with read.
void AskArpCounter(const char* kind, const std::function<void(std::istream&)>& read) {
  static std::atomic<int> serial{0};
  const std::string base = WinePath(Env("KST_SLEEPER_COMMANDS")) + "\\count" + std::to_string(GetCurrentProcessId()) +
                           "-" + std::to_string(serial++);
  std::ofstream(base + "." + kind).close();
  const std::string done = base + ".done";
  for (int i = 0; i < 500 && GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(10);
  {
    std::ifstream in(done);
    read(in);
  }
  DeleteFileA(done.c_str());
}

}  // namespace

long ArpRequestsFromHost() {
  long count = -1;
  AskArpCounter("arp", [&](std::istream& in) {
    double time = 0;
    in >> time >> count;
  });
  return count;
}

std::vector<TArpRequest> ArpRequestsLogFromHost() {
  std::vector<TArpRequest> requests;
  AskArpCounter("arptimes", [&](std::istream& in) {
    TArpRequest r;
    for (std::string kind; in >> r.Time >> kind >> r.Address;) {
      r.Broadcast = kind == "broadcast";
      requests.push_back(r);
    }
  });
  return requests;
}

double WallClockNow() {
  FILETIME ft;
  GetSystemTimePreciseAsFileTime(&ft);
  const uint64_t t = (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
  return static_cast<double>(t - 116444736000000000ull) / 1e7;
}

bool UseNames(const std::string& mode) { return RunAgentRequest(Env("KST_NAMES"), "req", mode, std::chrono::seconds(5)); }

int NameServerQueries(const std::string& name) {
  std::ifstream log(WinePath(Env("KST_NAMES")) + "\\queries.log");
  double time = 0;
  int count = 0;
  for (std::string asked; log >> time >> asked;) count += asked == name;
  return count;
}

bool ChangeAddress(const std::string& request) {
  return RunAgentRequest(Env("KST_HOST_COMMANDS"), "addr", request, std::chrono::seconds(5));
}

bool BringUp(const std::string& address, const std::string& mac) {
  return RunAgentRequest(Env("KST_SLEEPER_COMMANDS"), "up", address + " " + mac, std::chrono::seconds(5));
}

bool PutToSleep(const std::string& mac) {
  // The agent takes the computer from the file's name.
  const std::string base = WinePath(Env("KST_SLEEPER_COMMANDS")) + "\\" + mac, done = base + ".done";
  DeleteFileA(done.c_str());
  std::ofstream(base + ".sleep").close();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (std::chrono::steady_clock::now() >= end) return false;
    Sleep(10);
  }
  return true;
}

bool PeerSend(const std::string& address, uint16_t port, std::span<const uint8_t> payload, int count,
              uint16_t sourcePort) {
  return RunPeerCommand("send " + address + ' ' + std::to_string(port) + ' ' + Hex(payload) + ' ' +
                            std::to_string(count) + ' ' + std::to_string(sourcePort),
                        std::chrono::seconds(5));
}

bool PeerSendWakeStream(const std::string& address, uint16_t port, uint64_t firstMac, int count, uint16_t sourcePort,
                        int rate, int every) {
  char mac[13];
  snprintf(mac, sizeof mac, "%012llx", static_cast<unsigned long long>(firstMac));
  const auto duration = std::chrono::milliseconds(1000LL * count / (rate > 0 ? rate : 1));
  return RunPeerCommand("wake " + address + ' ' + std::to_string(port) + ' ' + mac + ' ' + std::to_string(count) +
                            ' ' + std::to_string(sourcePort) + ' ' + std::to_string(rate) + ' ' + std::to_string(every),
                        duration + std::chrono::seconds(10));
}

}  // namespace kst::test
