// Wall time of "kestrune.exe /all!" with 1,000 computers, each sending to the peer computer of
// the sandbox LAN, and how many of the packets the peer received.
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

// Runs "kestrune.exe /all!" over count stored computers; the wall time, or a negative value
// when a packet did not arrive.
double TimeAllCommand(const std::string& exe, size_t count) {
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

  std::wstring command = L"\"" + kst::Widen(exe) + L"\" /all!";
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
  std::printf("kestrune.exe /all! with %zu computers: %.3f s wall, %zu received by the peer\n", count, elapsed, received);
  return received == count ? elapsed : -1;
}

}  // namespace

int main() {
  std::string exe = "Z:" + Env("KST_KESTRUNE_EXE");
  for (char& c : exe)
    if (c == '/') c = '\\';
  if (exe == "Z:") return 2;
  // The cost of a packet: what 999 more computers add to a run with one.
  const double one = TimeAllCommand(exe, 1);
  const double thousand = TimeAllCommand(exe, 1000);
  if (one < 0 || thousand < 0) return 1;
  std::printf("kestrune.exe: %.3f ms per packet\n", (thousand - one) / 999 * 1000);
  return 0;
}
