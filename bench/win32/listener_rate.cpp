// How much UDP traffic vellamar.exe, under Wine, takes without losing a magic packet, and how
// fast its window answers meanwhile. Runs inside tools/sandbox (tools/bench does that).
//
// The peer computer sends 2-second streams to the host: magic packets only, or other UDP
// datagrams with one magic packet in every hundred; the magic packets' MAC addresses count up.
// For the window, once its log has settled, the log's blocks must be exactly the last ones of
// the stream, as the 700-line bound leaves them: a lost packet shifts or breaks that sequence.
// Meanwhile a thread sends the window WM_NULL every 20 ms and keeps the longest wait for the
// answer. The same streams are then taken by the listener alone, in this process, where every
// decoded packet is counted.
//
// Usage: bench_listener_rate.exe [PATH-OF-VELLAMAR.EXE [window|capture]] (a Unix path; default:
// the one built here; with "window" only vellamar.exe is measured, with "capture" only the
// listener in this process)
#include <windows.h>

#include <algorithm>
#include <atomic>
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
constexpr int kStreamSeconds = 2;
constexpr WPARAM kClearToolButton = 102;
constexpr auto kSettle = std::chrono::milliseconds(1500);

struct TStream {
  int Rate;   // datagrams per second
  int Every;  // one magic packet in every that many datagrams
  int Datagrams() const { return Rate * kStreamSeconds; }
  int MagicPackets() const { return (Datagrams() + Every - 1) / Every; }
};

constexpr TStream kStreams[] = {
    {1000, 1}, {2000, 1}, {5000, 1}, {10000, 1}, {20000, 1}, {5000, 100}, {10000, 100}, {20000, 100}, {40000, 100},
};

int64_t Ms(Clock::duration d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); }

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

// What the log holds after these packets (all sent since it was emptied), none lost: it is
// emptied before a packet whenever it holds more lines than the bound.
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

// Waits until the log has not changed for 1.5 s (at most 60 s), longer than the window ever
// waits between two writes of its log; its final text.
std::string SettledLog(HWND log) {
  std::string last = e2e::WindowText(log);
  auto unchangedSince = Clock::now();
  const auto end = Clock::now() + std::chrono::seconds(60);
  while (Clock::now() < end && Clock::now() - unchangedSince < kSettle) {
    Sleep(100);
    std::string now = e2e::WindowText(log);
    if (now != last) {
      last = std::move(now);
      unchangedSince = Clock::now();
    }
  }
  return last;
}

// Sends the window WM_NULL every 20 ms while it runs; the longest wait for an answer.
class TAnswerWatch {
 public:
  explicit TAnswerWatch(HWND window)
      : FThread([this, window] {
          while (!FStop) {
            const auto start = Clock::now();
            DWORD_PTR result = 0;
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
            FLongest = std::max(FLongest.load(), Ms(Clock::now() - start));
            Sleep(20);
          }
        }) {}
  int64_t Stop() {
    FStop = true;
    FThread.join();
    return FLongest;
  }

 private:
  std::atomic<bool> FStop{false};
  std::atomic<int64_t> FLongest{0};
  std::thread FThread;
};

bool MeasureWindow(const std::wstring& program, const std::string& host) {
  auto vellamar = e2e::TProcess::Start(program);
  HWND window = vellamar ? e2e::FindProcessWindow(vellamar->Id(), L"VellamarListenForm", L"Vellamar") : nullptr;
  HWND log = window ? e2e::FindChild(window, L"Edit") : nullptr;
  if (!log) {
    std::fprintf(stderr, "vellamar.exe did not open its window\n");
    return false;
  }
  std::printf("Streams from the peer to %s:9, logged by vellamar.exe under Wine\n", host.c_str());
  std::printf("%9s %8s %8s %8s %10s %9s %14s\n", "dgrams/s", "magic/s", "magic", "sent ms", "logged ms", "lost",
              "answer max ms");
  uint64_t firstMac = 0x02BE00000000ull;
  for (const TStream& stream : kStreams) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_COMMAND, kClearToolButton, 0, SMTO_NORMAL, 5000, &result);
    e2e::WaitUntil([&] { return e2e::WindowText(log).empty(); });
    TAnswerWatch answers(window);
    const auto start = Clock::now();
    if (!test::PeerSendWakeStream(host, 9, firstMac, stream.Datagrams(), 40200, stream.Rate, stream.Every)) {
      std::fprintf(stderr, "the peer did not send the stream\n");
      return false;
    }
    const auto streamed = Clock::now();
    const std::string text = SettledLog(log);
    // The settling wait adds its time after the last change.
    const auto logged = Clock::now() - kSettle;
    const int64_t longest = answers.Stop();
    std::vector<uint64_t> sent;
    for (int i = 0; i < stream.MagicPackets(); ++i) sent.push_back(firstMac + static_cast<uint64_t>(i));
    const auto shown = LoggedMacs(text), expected = ExpectedMacs(sent);
    std::string lost = "none";
    if (shown != expected) {
      // At least those missing from the part of the stream that the log still shows.
      const auto from = shown.empty() ? sent.back() + 1 : shown.front();
      const auto missing = static_cast<long long>(sent.back() + 1 - from) - static_cast<long long>(shown.size());
      lost = ">= " + std::to_string(std::max(1LL, missing));
    }
    std::printf("%9d %8d %8d %8lld %10lld %9s %14lld\n", stream.Rate, stream.Rate / stream.Every, stream.MagicPackets(),
                static_cast<long long>(Ms(streamed - start)), static_cast<long long>(Ms(logged - start)),
                lost.c_str(), static_cast<long long>(longest));
    std::fflush(stdout);
    firstMac += 0x100000;
  }
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, WM_USER + 410, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
  vellamar->WaitExit();
  return true;
}

// The capture alone, in this process: the listener's socket and notifications without the
// window and its log. Packets counted as they are handed over.
void MeasureCapture(const std::string& host) {
  std::printf("\nThe listener alone (in this process, no window), same streams\n");
  std::printf("%9s %8s %8s %8s %9s %8s\n", "dgrams/s", "magic/s", "magic", "sent ms", "received", "lost");
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
  for (const TStream& stream : kStreams) {
    received = 0;
    // The stream is sent by the peer while this thread takes the notifications.
    Clock::duration sentIn{};
    std::thread sender([&] {
      const auto start = Clock::now();
      test::PeerSendWakeStream(host, 9, firstMac, stream.Datagrams(), 40201, stream.Rate, stream.Every);
      sentIn = Clock::now() - start;
    });
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
    std::printf("%9d %8d %8d %8lld %9d %8d\n", stream.Rate, stream.Rate / stream.Every, stream.MagicPackets(),
                static_cast<long long>(Ms(sentIn)), received, stream.MagicPackets() - received);
    std::fflush(stdout);
    firstMac += 0x100000;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!test::InSandbox()) {
    std::fprintf(stderr, "bench_listener_rate sends packets: run it inside tools/sandbox\n");
    return 2;
  }
  const std::string host = test::Env("KST_HOST_ADDRESS");
  const std::string only = argc > 2 ? argv[2] : "";
  if (only != "capture" && !MeasureWindow(e2e::ProgramPath(argc > 1 ? argv[1] : KST_VELLAMAR_EXE), host)) return 1;
  if (only != "window") MeasureCapture(host);
  return 0;
}
