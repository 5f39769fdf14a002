// The highest steady rate of magic packets from the peer computer that vellamar.exe, under Wine,
// logs without losing one. Runs inside tools/sandbox (tools/bench does that).
//
// For each rate the peer sends a stream of packets whose MAC addresses count up; once the log
// has settled, its blocks must be exactly the last ones of the stream, as the 700-line bound
// leaves them. A lost packet shifts or breaks that sequence. The rates rise until the first loss.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "listener/packet_log.h"
#include "listener/win32/wol_listener.h"
#include "tests/e2e/e2e_support.h"
#include "tests/win32/sandbox_env.h"

namespace {

using namespace kst;
using Clock = std::chrono::steady_clock;

constexpr size_t kLinesPerBlock = 8;  // a packet without password

// The MAC addresses, as numbers, of the blocks in the log, in order.
std::vector<uint64_t> LoggedMacs(const std::string& log) {
  static constexpr std::string_view kLabel = "  MAC Address: ";
  std::vector<uint64_t> macs;
  for (size_t at = log.find(kLabel); at != std::string::npos; at = log.find(kLabel, at + 1)) {
    std::string hex = log.substr(at + kLabel.size(), 17);
    hex.erase(std::remove(hex.begin(), hex.end(), '-'), hex.end());
    macs.push_back(std::stoull(hex, nullptr, 16));
  }
  return macs;
}

// What the log holds after these packets (all that were sent since the program started), none
// lost: it is emptied before a packet whenever it holds more lines than the bound.
std::vector<uint64_t> ExpectedMacs(const std::vector<uint64_t>& sent) {
  size_t lines = 0, segmentStart = 0;
  for (size_t i = 0; i < sent.size(); ++i) {
    if (lines > kLogLineLimit) {
      lines = 0;
      segmentStart = i;
    }
    lines += kLinesPerBlock;
  }
  return {sent.begin() + static_cast<std::ptrdiff_t>(segmentStart), sent.end()};
}

// Waits until the log has not changed for half a second (at most 60 s); its final text.
std::string SettledLog(HWND log) {
  std::string last = e2e::WindowText(log);
  auto unchangedSince = Clock::now();
  const auto end = Clock::now() + std::chrono::seconds(60);
  while (Clock::now() < end && Clock::now() - unchangedSince < std::chrono::milliseconds(500)) {
    Sleep(50);
    std::string now = e2e::WindowText(log);
    if (now != last) {
      last = std::move(now);
      unchangedSince = Clock::now();
    }
  }
  return last;
}

// The capture alone, in this process: the listener's socket and notifications without the
// window and its log. Packets counted as they are handed over.
void MeasureCapture(const std::string& host) {
  std::printf("\nThe listener alone (in this process, no window), same streams\n");
  std::printf("%10s %8s %12s %10s\n", "rate/s", "sent", "received", "loss");
  TWolListener listener;
  int index = -1;
  for (size_t i = 0; i < listener.Addresses().size(); ++i)
    if (listener.Addresses()[i].Address == host) index = static_cast<int>(i);
  if (!listener.StartListening(index)) {
    std::printf("not listening: %s\n", listener.ErrorText().c_str());
    return;
  }
  int received = 0;
  listener.OnDataAvailable = [&](TWolListener&, const TReceivedMagicPacket&) { ++received; };
  uint64_t firstMac = 0x02BF00000000ull;
  for (int rate : {500, 1000, 2000, 4000, 8000, 16000, 32000}) {
    const int count = std::min(rate * 2, 20000);
    received = 0;
    // The stream is sent by the peer while this thread takes the notifications.
    std::thread sender([&] { test::PeerSendWakeStream(host, 9, firstMac, count, 40201, rate); });
    auto quietSince = Clock::now();
    int last = -1;
    while (Clock::now() - quietSince < std::chrono::milliseconds(500)) {
      MSG msg{};
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      if (received != last) {
        last = received;
        quietSince = Clock::now();
      }
      Sleep(1);
    }
    sender.join();
    std::printf("%10d %8d %12d %10s\n", rate, count, received, received == count ? "none" : "yes");
    std::fflush(stdout);
    firstMac += 0x100000;
    if (received != count) break;
  }
}

}  // namespace

int main() {
  if (!test::InSandbox()) {
    std::fprintf(stderr, "bench_listener_rate sends packets: run it inside tools/sandbox\n");
    return 2;
  }
  auto vellamar = e2e::TProcess::Start(e2e::ProgramPath(KST_VELLAMAR_EXE));
  HWND window = vellamar ? e2e::FindProcessWindow(vellamar->Id(), L"VellamarListenForm", L"Vellamar") : nullptr;
  HWND log = window ? e2e::FindChild(window, L"Edit") : nullptr;
  if (!log) {
    std::fprintf(stderr, "vellamar.exe did not open its window\n");
    return 1;
  }
  const std::string host = test::Env("KST_HOST_ADDRESS");
  std::printf("Magic packets from the peer to %s:9, logged by vellamar.exe under Wine\n", host.c_str());
  std::printf("%10s %8s %12s %14s %8s\n", "rate/s", "sent", "sent in ms", "logged by ms", "loss");

  int best = 0;
  uint64_t firstMac = 0x02BE00000000ull;
  std::vector<uint64_t> sent;
  for (int rate : {500, 1000, 2000, 4000, 8000, 16000, 32000}) {
    const int count = std::min(rate * 2, 20000);
    const auto start = Clock::now();
    if (!test::PeerSendWakeStream(host, 9, firstMac, count, 40200, rate)) {
      std::fprintf(stderr, "the peer did not send the stream\n");
      return 1;
    }
    const auto streamed = Clock::now();
    for (int i = 0; i < count; ++i) sent.push_back(firstMac + static_cast<uint64_t>(i));
    const std::string text = SettledLog(log);
    // The settling wait adds half a second after the last change.
    const auto logged = Clock::now() - std::chrono::milliseconds(500);
    const auto loggedMacs = LoggedMacs(text), expectedMacs = ExpectedMacs(sent);
    const bool lossless = loggedMacs == expectedMacs;
    auto ms = [&](Clock::time_point t) {
      return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(t - start).count());
    };
    std::printf("%10d %8d %12lld %14lld %8s\n", rate, count, ms(streamed), ms(logged), lossless ? "none" : "yes");
    std::fflush(stdout);
    if (!lossless) {
      auto range = [&](const std::vector<uint64_t>& macs) {
        if (macs.empty()) return std::string("nothing");
        char shown[96];
        std::snprintf(shown, sizeof shown, "%012llX to %012llX", static_cast<unsigned long long>(macs.front()),
                      static_cast<unsigned long long>(macs.back()));
        return std::string(shown);
      };
      std::printf("The log shows %zu packets, %s; without loss it would show %zu, %s.\n", loggedMacs.size(),
                  range(loggedMacs).c_str(), expectedMacs.size(), range(expectedMacs).c_str());
      break;
    }
    best = rate;
    firstMac += 0x100000;
  }
  std::printf("Highest rate without loss: %d packets/s\n", best);
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, WM_USER + 410, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
  vellamar->WaitExit();

  MeasureCapture(host);
  return 0;
}
