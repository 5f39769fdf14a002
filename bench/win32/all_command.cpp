// Wall time of "kestrune.exe /all!" with 1,000 computers, each sending to the peer computer of
// the sandbox LAN, and how many of the packets the peer received; in the same run the floor
// program (floor/floor_all_command.cpp: the same loads and sends, plain Win32) over the same
// computers, and the ratio of the two costs per computer.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "netcore/address_text.h"
#include "netcore/magic_packet.h"
#include "netcore/win32/text_win32.h"
#include "sender/registry_store.h"

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string Hex(const kst::TMagicPacket& p) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (auto b : p.View()) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

size_t CountReceived(const std::set<std::string>& wanted) {
  std::string path = "Z:" + Env("KST_PEER_LOG");
  for (char& c : path)
    if (c == '/') c = '\\';
  std::ifstream log(path);
  std::string line;
  std::set<std::string> seen;
  while (std::getline(log, line)) {
    const std::string payload = line.substr(line.find_last_of(' ') + 1);
    if (wanted.count(payload)) seen.insert(payload);
  }
  return seen.size();
}

// Runs the program over count stored computers (each with a MAC address of its own, so that
// every run's packets are told apart); the wall time, or a negative value when a packet did not
// arrive.
double TimeAllCommand(const char* label, const std::string& exe, const wchar_t* arguments, size_t count) {
  auto reg = kst::MakeSystemRegistry();
  reg->SetRoot(kst::TRegRoot::LocalMachine);
  reg->DeleteKey(kst::kSettingsKey);
  kst::THostList list;
  std::set<std::string> wanted;
  static uint64_t nextMac = 0x02BE00000000ull;
  for (size_t i = 0; i < count; ++i) {
    auto r = std::make_unique<kst::THostRecord>();
    r->AssignComputerName("pc" + std::to_string(i));
    r->MacAddress = nextMac++;
    r->BroadcastAddress = kst::StrToIp(Env("KST_PEER_ADDRESS"));
    r->LocalIpAddress = kst::StrToIp(Env("KST_HOST_ADDRESS"));
    r->Port = 40019;
    wanted.insert(Hex(kst::BuildMagicPacket(r->MacAddress, 0)));
    list.push_back(std::move(r));
  }
  kst::TRegistryStore(*reg).SaveHosts(list);

  std::wstring command = L"\"" + kst::Widen(exe) + L"\"" + arguments;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const auto start = std::chrono::steady_clock::now();
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  WaitForSingleObject(pi.hProcess, 120000);
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  Sleep(1000);
  const size_t received = CountReceived(wanted);
  reg->DeleteKey(kst::kSettingsKey);
  std::printf("%s with %zu computers: %.3f s wall, %zu received by the peer\n", label, count, elapsed, received);
  return received == count ? elapsed : -1;
}

std::string WindowsPath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

}  // namespace

int main() {
  const std::string kestrune = WindowsPath(KST_KESTRUNE_EXE);
  const std::string floor = WindowsPath(KST_FLOOR_ALL_EXE);
  // The cost of a packet: what 999 more computers add to a run with one. Each program in turn,
  // three rounds, the shortest time of each run counting: the machine is shared, and a busy
  // moment should not fall on one program alone.
  double best[4] = {-1, -1, -1, -1};
  bool complete = true;
  for (int round = 1; round <= 3; ++round) {
    const double times[4] = {TimeAllCommand("kestrune.exe /all!", kestrune, L" /all!", 1),
                             TimeAllCommand("floor_all_command.exe", floor, L"", 1),
                             TimeAllCommand("kestrune.exe /all!", kestrune, L" /all!", 1000),
                             TimeAllCommand("floor_all_command.exe", floor, L"", 1000)};
    for (int i = 0; i < 4; ++i) {
      complete &= times[i] >= 0;
      if (times[i] >= 0 && (best[i] < 0 || times[i] < best[i])) best[i] = times[i];
    }
  }
  if (!complete) return 1;
  const double k = (best[2] - best[0]) / 999 * 1000;
  const double f = (best[3] - best[1]) / 999 * 1000;
  std::printf("shortest of 3: kestrune.exe %.3f ms per computer, floor %.3f ms, ratio %.2f\n", k, f, k / f);
  return complete ? 0 : 1;
}
