// Kestrune's computer editor and search dialog, driven in the shipped kestrune.exe.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "netcore/address_text.h"
#include "netcore/registry.h"
#include "sender/res/dialog_ids.h"
#include "tests/e2e/kestrune_session.h"
#include "tests/e2e/picture.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using namespace std::chrono_literals;
using e2e::kCmdAdd, e2e::kCmdAbout, e2e::kCmdEdit, e2e::kCmdSearch, e2e::kCmdSend, e2e::kCmdStop;

e2e::TRgb SystemColour(int index) { return e2e::ToRgb(GetSysColor(index)); }
// A dialog drawn on top where it is: its own face inside its corner, and the field given
// drawn as a white box with the text it holds.
void ExpectDrawn(const std::string& shotName, HWND dialog, HWND field) {
  const auto shot = e2e::ScreenPicture(shotName);
  ASSERT_TRUE(shot) << shotName;
  EXPECT_EQ(e2e::InsideCorner(*shot, dialog), SystemColour(COLOR_BTNFACE)) << shotName;
  EXPECT_EQ(e2e::InsideCorner(*shot, field), SystemColour(COLOR_WINDOW)) << shotName;
  EXPECT_GT(e2e::DarkPixels(*shot, field), 10) << shotName;
}

class KestruneDialogs : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(test::InSandbox()); }
  void TearDown() override {
    if (FSlowNames) {
      EXPECT_TRUE(test::UseNames("refuse"));
    }
  }
  // Names the hosts file does not know take this long to fail for the program started next.
  void SlowNames(int seconds) {
    ASSERT_TRUE(test::UseNames("slow " + std::to_string(seconds)));
    FSlowNames = true;
  }
  // n of "Scanned n of ..." in the status bar; 0 before the first address.
  int Scanned() const {
    const std::string text = FSession.StatusText();
    return text.rfind("Scanned ", 0) == 0 ? std::atoi(text.c_str() + 8) : 0;
  }

  // Stores the settings and one computer (two with listedMac), then starts the window.
  void Start(const std::function<void(IRegistryAccessor&)>& settings, uint64_t listedMac = 0) {
    FSession.StoreSettings([&](IRegistryAccessor& reg) {
      reg.WriteDword("Promo", 1);
      settings(reg);
    });
    std::vector<e2e::TComputer> list{{"Office-PC", 0x02E800000001, test::Env("KST_PEER_ADDRESS"), 40040,
                                      0x0A0B0C0D0E0F, "peer-computer", test::Env("KST_HOST_ADDRESS")}};
    if (listedMac) list.push_back({"Listed", listedMac});
    ASSERT_TRUE(FSession.StoreList(list));
    ASSERT_TRUE(FSession.Start());
    ASSERT_TRUE(FSession.WaitRows(listedMac ? 2 : 1));
  }
  // Opens the search dialog over the stored range and starts the scan with OK.
  void Scan(const char* from, const char* to, uint64_t listedMac = 0) {
    Start(
        [&](IRegistryAccessor& reg) {
          TRegistryX x(reg);
          x.WriteInt64("SearchFromIpAddress", StrToIp(from));
          x.WriteInt64("SearchToIpAddress", StrToIp(to));
          x.WriteInt64("SearchBroadcastAddress", StrToIp("10.77.0.255"));
          reg.WriteDword("SearchPort", 9);
        },
        listedMac);
    HWND search = FSession.OpenDialog(kCmdSearch, L"Search MAC addresses");
    ASSERT_TRUE(search);
    ASSERT_TRUE(e2e::PressButton(search, IDC_SEARCH_OK));
  }

  // Characters as the keyboard gives them to the control with the focus.
  static void Type(HWND control, const std::wstring& text) {
    for (wchar_t c : text) PostMessageW(control, WM_CHAR, c, 1);
    Sleep(300);
  }
  static SIZE ClientSize(HWND dialog) {
    RECT r;
    GetClientRect(dialog, &r);
    return {r.right, r.bottom};
  }
  // Clicks the button and answers the error box that must follow with its text. The click is
  // posted: the box keeps the click's handler from returning until it is answered.
  std::string FailedCheck(HWND dialog, int button) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
    HWND box = e2e::FindProcessWindow(FSession.Process().Id(), L"#32770", L"Error", 5s);
    if (!box) return "(no error box)";
    const std::string text = e2e::MessageBoxText(box);
    EXPECT_TRUE(e2e::PressButton(box, IDOK));
    Sleep(300);
    EXPECT_TRUE(IsWindowVisible(dialog));
    return text;
  }

  e2e::TKestruneSession FSession;
  bool FSlowNames = false;
};

TEST_F(KestruneDialogs, AddFillsTheDefaultsChecksAndAppendsTheComputer) {
  Start([](IRegistryAccessor& reg) {
    reg.WriteDword("HostPort", 40041);
    reg.WriteString("HostBroadcastHost", "");
  });
  HWND editor = FSession.OpenDialog(kCmdAdd, L"Remote Computer");
  ASSERT_TRUE(editor);
  EXPECT_EQ(ClientSize(editor).cx, 226);
  EXPECT_EQ(ClientSize(editor).cy, 375);
  EXPECT_EQ(e2e::ItemText(editor, IDC_HOST_NAME), "");
  EXPECT_EQ(e2e::ItemText(editor, IDC_HOST_DESTINATION), "255.255.255.255");
  EXPECT_EQ(e2e::ItemText(editor, IDC_HOST_PORT), "40041");
  EXPECT_EQ(e2e::ItemText(editor, IDC_HOST_LOCAL), test::Env("KST_HOST_ADDRESS"));  // the first local address
  EXPECT_EQ(e2e::FocusedWindow(editor), GetDlgItem(editor, IDC_HOST_NAME));
  ExpectDrawn("kestrune-editor-new", editor, GetDlgItem(editor, IDC_HOST_PORT));

  // Enter and Esc mean nothing here, while they close the about box.
  PostMessageW(GetDlgItem(editor, IDC_HOST_NAME), WM_KEYDOWN, VK_RETURN, 1);
  PostMessageW(GetDlgItem(editor, IDC_HOST_NAME), WM_KEYDOWN, VK_ESCAPE, 1);
  Sleep(500);
  EXPECT_TRUE(IsWindowVisible(editor));

  e2e::SetItemText(editor, IDC_HOST_NAME, "Lab-PC");
  e2e::SetItemText(editor, IDC_HOST_MAC, "aa:bb:cc:dd:ee:0");  // eleven digits
  EXPECT_EQ(FailedCheck(editor, IDC_HOST_SAVE), "Wrong MAC address.");
  EXPECT_EQ(e2e::FocusedWindow(editor), GetDlgItem(editor, IDC_HOST_MAC));
  EXPECT_EQ(e2e::ItemText(editor, IDC_HOST_MAC), "aa:bb:cc:dd:ee:0");

  // Typed into the port box, only digits stay.
  SendMessageW(editor, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(editor, IDC_HOST_PORT)), TRUE);
  Sleep(200);
  Type(GetDlgItem(editor, IDC_HOST_PORT), L"9x");
  EXPECT_EQ(e2e::ItemText(editor, IDC_HOST_PORT), "9");

  // Typed into the destination, "_" is refused; the filter works on the combo box's edit field.
  HWND destination = GetDlgItem(editor, IDC_HOST_DESTINATION);
  SendMessageW(editor, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(destination), TRUE);
  Sleep(200);
  Type(e2e::FindChild(destination, L"Edit"), L"my_router");
  EXPECT_EQ(e2e::ItemText(editor, IDC_HOST_DESTINATION), "myrouter");

  // The local address hint is the adapter's description.
  RECT hint;
  GetWindowRect(GetDlgItem(editor, IDC_HOST_LOCAL_HINT), &hint);
  SetCursorPos(hint.left + 3, hint.top + 5);
  Sleep(100);
  SetCursorPos(hint.left + 4, hint.top + 6);
  HWND tip = nullptr;
  EXPECT_TRUE(e2e::WaitUntil([&] {
    for (HWND w : e2e::ProcessWindows(FSession.Process().Id()))
      if (e2e::ClassName(w) == "tooltips_class32") tip = w;
    return tip != nullptr;
  }));
  EXPECT_EQ(tip ? e2e::WindowText(tip) : "", "lan0");  // the sandbox's adapter
  if (tip) {
    // The tip is drawn over the editor, in the tip colour, with the description.
    const auto shot = e2e::ScreenPicture("kestrune-editor-hint", 0ms);
    ASSERT_TRUE(shot);
    EXPECT_EQ(e2e::InsideCorner(*shot, tip), SystemColour(COLOR_INFOBK));
    EXPECT_GT(e2e::DarkPixels(*shot, tip), 10);
  }

  e2e::SetItemText(editor, IDC_HOST_MAC, "aa:bb:cc:dd:ee:ff");
  e2e::SetItemText(editor, IDC_HOST_DESTINATION, test::Env("KST_LAN_BROADCAST"));
  ASSERT_TRUE(e2e::PressButton(editor, IDC_HOST_SAVE));
  EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindow(editor); }));
  EXPECT_TRUE(FSession.WaitRows(2));

  HWND about = FSession.OpenDialog(kCmdAbout, L"About Kestrune");
  ASSERT_TRUE(about);
  PostMessageW(GetDlgItem(about, IDOK), WM_KEYDOWN, VK_ESCAPE, 1);
  EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindow(about); }));
  EXPECT_EQ(FSession.Exit(), 0u);

  EXPECT_EQ(FSession.StoredText("ComputerName", "0001"), "Lab-PC");
  EXPECT_EQ(FSession.StoredNumber("MacAddress", "0001"), 0xAABBCCDDEEFFull);
  EXPECT_EQ(FSession.StoredNumber("BroadcastAddress", "0001"), StrToIp(test::Env("KST_LAN_BROADCAST")));
  EXPECT_EQ(FSession.StoredText("BroadcastHost", "0001"), "");
  EXPECT_EQ(FSession.StoredNumber("Port", "0001"), 9u);
  EXPECT_EQ(FSession.StoredNumber("HostPort"), 9u);
}

TEST_F(KestruneDialogs, EditShowsTheComputerAndCancelKeepsIt) {
  Start([](IRegistryAccessor&) {});
  ASSERT_TRUE(FSession.WaitSelected(0));
  HWND editor = FSession.OpenDialog(kCmdEdit, L"Remote Computer");
  ASSERT_TRUE(editor);
  EXPECT_EQ(e2e::ItemText(editor, IDC_HOST_NAME), "Office-PC");
  EXPECT_EQ(e2e::ItemText(editor, IDC_HOST_MAC), "02-E8-00-00-00-01");
  EXPECT_EQ(e2e::ItemText(editor, IDC_HOST_PASSWORD), "0A-0B-0C-0D-0E-0F");
  EXPECT_EQ(e2e::ItemText(editor, IDC_HOST_DESTINATION), "peer-computer");
  EXPECT_EQ(SendMessageW(GetDlgItem(editor, IDC_HOST_DESTINATION), CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(e2e::ItemText(editor, IDC_HOST_PORT), "40040");
  EXPECT_EQ(e2e::ItemText(editor, IDC_HOST_LOCAL), test::Env("KST_HOST_ADDRESS"));
  // The caret waits after the name.
  const auto selection = static_cast<DWORD>(SendMessageW(GetDlgItem(editor, IDC_HOST_NAME), EM_GETSEL, 0, 0));
  EXPECT_EQ(LOWORD(selection), 9);
  EXPECT_EQ(HIWORD(selection), 9);
  ExpectDrawn("kestrune-editor-existing", editor, GetDlgItem(editor, IDC_HOST_MAC));

  e2e::SetItemText(editor, IDC_HOST_NAME, "");
  EXPECT_EQ(FailedCheck(editor, IDC_HOST_SAVE), "No computer name.");
  EXPECT_EQ(e2e::FocusedWindow(editor), GetDlgItem(editor, IDC_HOST_NAME));
  ASSERT_TRUE(e2e::PressButton(editor, IDC_HOST_CANCEL));
  EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindow(editor); }));
  EXPECT_EQ(FSession.Exit(), 0u);
  EXPECT_EQ(FSession.StoredText("ComputerName", "0000"), "Office-PC");
}

TEST_F(KestruneDialogs, SearchShowsTheStoredRangeFiltersOctetsAndStoresOnOk) {
  Start([](IRegistryAccessor& reg) {
    TRegistryX x(reg);
    x.WriteInt64("SearchFromIpAddress", StrToIp("10.77.0.3"));
    x.WriteInt64("SearchToIpAddress", StrToIp("10.77.0.40"));
    x.WriteInt64("SearchBroadcastAddress", StrToIp("10.77.0.255"));
    reg.WriteString("SearchBroadcastHost", "");
    reg.WriteDword("SearchPort", 40042);
  });
  HWND search = FSession.OpenDialog(kCmdSearch, L"Search MAC addresses");
  ASSERT_TRUE(search);
  EXPECT_EQ(ClientSize(search).cx, 217);
  EXPECT_EQ(ClientSize(search).cy, 287);
  std::string from, to;
  for (int i = 0; i < 4; ++i) {
    from += e2e::ItemText(search, IDC_SEARCH_FROM1 + i) + " ";
    to += e2e::ItemText(search, IDC_SEARCH_TO1 + i) + " ";
  }
  EXPECT_EQ(from, "10 77 0 3 ");
  EXPECT_EQ(to, "10 77 0 40 ");
  EXPECT_EQ(e2e::ItemText(search, IDC_SEARCH_BROADCAST), "255.255.255.255");
  EXPECT_EQ(e2e::ItemText(search, IDC_SEARCH_PORT), "40042");
  HWND from4 = GetDlgItem(search, IDC_SEARCH_FROM4);
  EXPECT_EQ(e2e::FocusedWindow(search), from4);
  ExpectDrawn("kestrune-search", search, GetDlgItem(search, IDC_SEARCH_PORT));

  // "3" then "00" is above 255: selected whole, so the next digit replaces it; "." is removed.
  Type(from4, L"00");
  EXPECT_EQ(e2e::ItemText(search, IDC_SEARCH_FROM4), "300");
  const auto selection = static_cast<DWORD>(SendMessageW(from4, EM_GETSEL, 0, 0));
  EXPECT_EQ(LOWORD(selection), 0);
  EXPECT_EQ(HIWORD(selection), 3);
  EXPECT_EQ(FailedCheck(search, IDC_SEARCH_OK), "Wrong From IP address.");
  EXPECT_EQ(e2e::FocusedWindow(search), GetDlgItem(search, IDC_SEARCH_FROM1));
  SendMessageW(search, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(from4), TRUE);  // selects its text
  Sleep(200);
  Type(from4, L"7.");
  EXPECT_EQ(e2e::ItemText(search, IDC_SEARCH_FROM4), "7");

  e2e::SetItemText(search, IDC_SEARCH_TO4, "6");
  EXPECT_EQ(FailedCheck(search, IDC_SEARCH_OK), "Wrong IP address range.");
  EXPECT_EQ(e2e::FocusedWindow(search), GetDlgItem(search, IDC_SEARCH_TO4));

  // Enter and Esc leave it open.
  PostMessageW(from4, WM_KEYDOWN, VK_RETURN, 1);
  PostMessageW(from4, WM_KEYDOWN, VK_ESCAPE, 1);
  Sleep(500);
  EXPECT_TRUE(IsWindowVisible(search));

  e2e::SetItemText(search, IDC_SEARCH_TO4, "9");
  SendMessageW(GetDlgItem(search, IDC_SEARCH_BROADCAST), CB_SETCURSEL, 1, 0);
  e2e::SetItemText(search, IDC_SEARCH_PORT, "40043");
  ASSERT_TRUE(e2e::PressButton(search, IDC_SEARCH_OK));
  EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindow(search); }));
  EXPECT_EQ(FSession.Exit(), 0u);
  EXPECT_EQ(FSession.StoredNumber("SearchFromIpAddress"), StrToIp("10.77.0.7"));
  EXPECT_EQ(FSession.StoredNumber("SearchToIpAddress"), StrToIp("10.77.0.9"));
  EXPECT_EQ(FSession.StoredNumber("SearchBroadcastAddress"), StrToIp("10.77.0.255"));
  EXPECT_EQ(FSession.StoredText("SearchBroadcastHost"), "");
  EXPECT_EQ(FSession.StoredNumber("SearchPort"), 40043u);
}

TEST_F(KestruneDialogs, ScanFindsTheNewComputersDropsTheListedOneAndAddsThemOnYes) {
  // 10.77.0.20 has a reverse name, 10.77.0.22 none, 10.77.0.24 is listed; .21 and .23 are silent.
  Scan("10.77.0.20", "10.77.0.24", 0x027700000018);
  EXPECT_TRUE(e2e::WaitUntil([&] { return FSession.Enabled(kCmdStop) && !FSession.Enabled(kCmdSearch) && !FSession.Enabled(kCmdSend); }, 1s));
  HWND box = e2e::FindMessageBox(FSession.Process().Id());
  ASSERT_TRUE(box);
  EXPECT_EQ(e2e::MessageBoxText(box), "Found 2 new computers. Do you want to add them ?");
  EXPECT_TRUE(e2e::PressButtonByText(box, L"&Yes"));
  EXPECT_TRUE(FSession.WaitRows(4));
  EXPECT_TRUE(FSession.Enabled(kCmdSearch) && !FSession.Enabled(kCmdStop));
  EXPECT_EQ(FSession.StatusText(), "");
  EXPECT_EQ(FSession.Exit(), 0u);
  EXPECT_EQ(FSession.StoredNames(), (std::vector<std::string>{"Office-PC 02-E8-00-00-00-01", "Listed 02-77-00-00-00-18",
                                                     "peer-computer (10.77.0.20) 02-77-00-00-00-14",
                                                     "10.77.0.22 02-77-00-00-00-16"}));
}

TEST_F(KestruneDialogs, EveryFoundComputerAlreadyListedLeavesNoNewOnes) {
  Scan("10.77.0.20", "10.77.0.20", 0x027700000014);
  EXPECT_TRUE(e2e::WaitUntil([&] { return FSession.StatusText() == "No new computers found"; }, 30s));
  EXPECT_TRUE(FSession.Enabled(kCmdSearch) && !FSession.Enabled(kCmdStop));
  EXPECT_EQ(e2e::FindMessageBox(FSession.Process().Id(), 500ms), nullptr);
  EXPECT_EQ(FSession.Rows(), 2);
  EXPECT_EQ(FSession.Exit(), 0u);
}

TEST_F(KestruneDialogs, StopEndsAScanWithTheQuestionOnceTheLookupsUnderWayAreDone) {
  // The five computers of the LAN answer ARP; 10.77.0.22 and .24 have no name, which the LAN's
  // name server says only after 4 s, so their lookups are under way when Stop comes.
  SlowNames(4);
  Scan("10.77.0.1", "10.77.0.254");
  ASSERT_TRUE(e2e::WaitUntil([&] { return Scanned() >= 25; }, 30s));
  FSession.Command(kCmdStop);
  HWND box = e2e::FindMessageBox(FSession.Process().Id(), 30s);
  ASSERT_TRUE(box);
  EXPECT_EQ(e2e::MessageBoxText(box), "Found 5 new computers. Do you want to add them ?");
  EXPECT_TRUE(e2e::PressButtonByText(box, L"&No"));
  const int scanned = Scanned();
  EXPECT_GE(scanned, 25);
  EXPECT_EQ(FSession.StatusText(), "Scanned " + std::to_string(scanned) + " of 254 IP addresses");
  EXPECT_EQ(FSession.Rows(), 1);
  EXPECT_EQ(FSession.Exit(), 0u);
}

TEST_F(KestruneDialogs, ExitInTheMiddleOfAScanWaitsForItAndKeepsTheList) {
  SlowNames(4);
  Scan("10.77.0.1", "10.77.0.254");
  ASSERT_TRUE(e2e::WaitUntil([&] { return Scanned() >= 25; }, 30s));
  // The lookups under way take their four seconds before the program can end.
  EXPECT_EQ(FSession.Exit(WM_APP_EXIT, 20s), 0u);
  EXPECT_EQ(FSession.StoredNames(), (std::vector<std::string>{"Office-PC 02-E8-00-00-00-01"}));
}

}  // namespace
}  // namespace kst
