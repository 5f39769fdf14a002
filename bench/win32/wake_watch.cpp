// The wake assistant's figures, in the sandbox with its sleeping computers, every computer sent
// to 255.255.255.255 as a new computer's destination is:
// 1. from a computer's wake (the sleeper agent's log) to the banner naming it, with ten computers
//    watched at once by their candidate addresses;
// 2. a computer that never wakes, whose /24 the watch sweeps for its two minutes: the time of one
//    pass, and the ARP requests on the wire from this machine (the sandbox's counter) per second,
//    peak and mean, the watch's own apart from Linux's checks of the entries it keeps;
// 3. Send to All over 1,000 computers of this network (the watch sweeping), against the same
//    sent to another network (the watch idle) and, given a Windows path of a kestrune.exe built
//    without the assistant as the first argument, against that program.
// 4. an exit while a watch runs and the name server hangs the lookup of a computer's name: from
//    the close to the end of the process, and whether the next start is let in.
// "only" as the second argument runs the third alone.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "netcore/address_text.h"
#include "netcore/win32/text_win32.h"
#include "tests/e2e/kestrune_session.h"
#include "tests/win32/sandbox_env.h"

namespace {

using namespace std::chrono_literals;
using kst::e2e::TComputer;

constexpr int kBannerLineId = 301;

// When the sleeper agent brought the computer up (seconds since 1970), or 0.
double AwakeAt(const std::string& mac) {
  std::ifstream log(kst::test::WinePath(kst::test::Env("KST_SLEEPER_LOG")));
  std::string line;
  double at = 0;
  while (std::getline(log, line)) {
    std::istringstream words(line);
    double time;
    std::string what, which;
    if (words >> time >> what >> which && what == "awake" && which == mac) at = time;
  }
  return at;
}

struct TKestrune {
  kst::e2e::TKestruneSession Session;

  explicit TKestrune(const std::vector<TComputer>& computers, const std::wstring& program = {}) {
    Session.StoreSetting("Promo", 1);
    Session.StoreSetting("Selection", 1);
    Session.StoreList(computers);
    if (!program.empty()) Session.UseProgram(program);
    Session.Start(60s);
    Sleep(1000);
  }
  ~TKestrune() {
    const auto code = Session.Exit(WM_CLOSE, 20s);
    if (code != 0u) std::printf("(kestrune.exe exit: %s)\n", code ? std::to_string(*code).c_str() : "none in 20 s");
  }
  std::string Lines() {
    std::string all;
    for (int i = 0; i < 3; ++i) all += kst::e2e::WindowText(GetDlgItem(Session.Banner(), kBannerLineId + i)) + "\n";
    return all;
  }
};

TComputer Computer(const std::string& name, const std::string& mac, const char* destination = "255.255.255.255") {
  return {name, kst::StrToMac(mac), destination, 40019};
}

void WakeToBannerAmongTen() {
  struct TSleeper {
    std::string Name, Mac;
    double Seen = 0;
  };
  std::vector<TSleeper> sleepers{{"Sleeper-31 (10.77.0.31)", "02-77-00-00-01-31"},
                                 {"Sleeper-32 (10.77.0.32)", "02-77-00-00-01-32"},
                                 {"Sleeper-33 (10.77.0.33)", "02-77-00-00-01-33"},
                                 {"sleeper-35", "02-77-00-00-01-35"},
                                 {"Sleeper-40 (10.77.0.40)", "02-77-00-00-01-40"}};
  std::vector<TComputer> computers;
  for (const auto& s : sleepers) computers.push_back(Computer(s.Name, s.Mac));
  // Five more that never answer, each at an address of its own.
  for (int i = 1; i <= 5; ++i)
    computers.push_back(Computer("Ghost-" + std::to_string(i) + " (10.77.0.10" + std::to_string(i) + ")",
                                 "02-BE-00-00-00-0" + std::to_string(i)));
  kst::test::UseNames("answer");
  {
    TKestrune k(computers);
    k.Session.Command(kst::e2e::kCmdSendAll);
    kst::e2e::WaitUntil(
        [&] {
          const std::string lines = k.Lines();
          const size_t woke = lines.find("Woke up: ");
          bool all = true;
          for (auto& s : sleepers) {
            if (s.Seen == 0 && woke != std::string::npos && lines.find(s.Name, woke) != std::string::npos)
              s.Seen = kst::test::WallClockNow();
            all = all && s.Seen > 0;
          }
          return all;
        },
        60s);
    for (const auto& s : sleepers) {
      const double awake = AwakeAt(s.Mac);
      std::printf("wake to banner, %s among 10 watched: %.2f s\n", s.Name.c_str(),
                  s.Seen > 0 && awake > 0 ? s.Seen - awake : -1.0);
    }
    std::printf("banner: %s\n", k.Lines().c_str());
  }
  kst::test::UseNames("refuse");
  for (const auto& s : sleepers) kst::test::PutToSleep(s.Mac);
}

void SweepAndArpRates() {
  TKestrune k({Computer("Insomniac", "02-77-00-00-01-34")});
  const double sent = kst::test::WallClockNow();
  k.Session.Command(kst::e2e::kCmdSend);
  kst::e2e::WaitUntil([&] { return k.Lines().find("has not answered after 2 minutes") != std::string::npos; }, 135s);
  const double over = kst::test::WallClockNow();
  std::vector<double> asked, checked;
  double first = 0, last = 0;
  for (const auto& r : kst::test::ArpRequestsLogFromHost()) {
    if (r.Time < sent || r.Time > over) continue;
    (r.Broadcast ? asked : checked).push_back(r.Time);
    // One pass: from the first address asked to the last of the /24.
    if (r.Broadcast && first == 0) first = r.Time;
    if (r.Broadcast && last == 0 && r.Address == "10.77.0.254") last = r.Time;
  }
  const auto peak = [](std::vector<double> times) {
    std::sort(times.begin(), times.end());
    size_t most = 0;
    for (size_t i = 0, j = 0; i < times.size(); ++i) {
      while (j < times.size() && times[j] < times[i] + 1.0) ++j;
      most = std::max(most, j - i);
    }
    return most;
  };
  std::vector<double> all = asked;
  all.insert(all.end(), checked.begin(), checked.end());
  const double span = asked.empty() ? 0 : asked.back() - asked.front();
  std::printf("one pass of the /24 (10.77.0.1 to .254): %.1f s\n", last > 0 ? last - first : -1.0);
  std::printf("ARP requests of the watch (broadcast): %zu in %.1f s, mean %.1f a second, peak %zu in one second\n",
              asked.size(), span, span > 0 ? static_cast<double>(asked.size()) / span : 0.0, peak(asked));
  std::printf("Linux's own checks of entries it keeps (unicast): %zu; all requests: peak %zu in one second\n",
              checked.size(), peak(all));
}

double SendAll(const char* destination, const std::wstring& program, const char* which) {
  std::vector<TComputer> list;
  for (int i = 0; i < 1000; ++i)
    list.push_back({"pc" + std::to_string(i), kst::StrToMac("02-BF-00-00-00-00") + static_cast<uint64_t>(i), destination, 40019});
  TKestrune k(list, program);
  const auto start = std::chrono::steady_clock::now();
  k.Session.Command(kst::e2e::kCmdSendAll);
  kst::e2e::WaitUntil([&] { return k.Session.StatusText().rfind("PC999: magic packet sent", 0) == 0; }, 120s);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("Send to All over 1,000 computers to %s, %s: %.2f s (status: %s; banner: %.60s)\n", destination, which,
              seconds, k.Session.StatusText().c_str(), k.Lines().c_str());
  return seconds;
}

void ExitDuringWatch() {
  kst::test::UseNames("silent");
  const int asked = kst::test::NameServerQueries("sleeper-35");
  kst::e2e::TKestruneSession session;
  session.StoreSetting("Promo", 1);
  session.StoreList({Computer("sleeper-35", "02-77-00-00-01-35"), Computer("Insomniac", "02-77-00-00-01-34")});
  session.Start(60s);
  session.Command(kst::e2e::kCmdSendAll);
  kst::e2e::WaitUntil([&] { return kst::test::NameServerQueries("sleeper-35") > asked; }, 30s);
  const auto closed = std::chrono::steady_clock::now();
  const auto code = session.Exit(WM_CLOSE, 30s);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - closed).count();
  const bool again = session.Start(60s) && !kst::e2e::FindMessageBox(session.Process().Id(), 1s);
  std::printf("exit during a watch and a hanging name lookup: %.2f s from the close to the end (exit code %s); "
              "next start %s\n",
              seconds, code ? std::to_string(*code).c_str() : "none", again ? "let in" : "REFUSED");
  session.Exit(WM_CLOSE, 20s);
  kst::test::UseNames("refuse");
  kst::test::PutToSleep("02-77-00-00-01-35");
}

}  // namespace

int main(int argc, char** argv) {
  if (!kst::test::InSandbox()) return 2;
  const std::wstring before = argc > 1 ? kst::Widen(argv[1]) : std::wstring();
  if (argc <= 2) {
    WakeToBannerAmongTen();
    SweepAndArpRates();
    ExitDuringWatch();
  }
  // Alternating, so that the load of the machine falls on each alike.
  double with = 0, idle = 0, without = 0;
  for (int i = 0; i < 2; ++i) {
    idle += SendAll("192.168.77.255", {}, "watch idle");
    with += SendAll("10.77.0.255", {}, "watch sweeping");
    if (!before.empty()) without += SendAll("10.77.0.255", before, "no assistant");
  }
  std::printf("Send to All, watch sweeping / watch idle: %.3f\n", with / idle);
  if (without > 0) std::printf("Send to All, watch sweeping / no assistant: %.3f\n", with / without);
  return 0;
}
