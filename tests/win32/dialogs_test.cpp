// The computer editor and the search dialog, run in this process on the test thread and worked
// from a second thread as a user would: characters typed into the control that has the focus,
// buttons clicked, each error box read and answered.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "netcore/address_text.h"
#include "netcore/win32/text_win32.h"
#include "sender/res/dialog_ids.h"
#include "sender/win32/host_form.h"
#include "sender/win32/search_form.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using namespace std::chrono_literals;

std::string Text(HWND window) {
  wchar_t text[512] = {};
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &result);
  return Narrow(text);
}

HWND FindDialog(DWORD thread, const std::string& caption, std::chrono::milliseconds timeout = 5s) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  do {
    struct TFind {
      std::string Caption;
      HWND Found = nullptr;
    } find{caption};
    EnumThreadWindows(
        thread,
        [](HWND w, LPARAM p) -> BOOL {
          auto& f = *reinterpret_cast<TFind*>(p);
          if (IsWindowVisible(w) && Text(w) == f.Caption) f.Found = w;
          return f.Found == nullptr;
        },
        reinterpret_cast<LPARAM>(&find));
    if (find.Found) return find.Found;
    Sleep(20);
  } while (std::chrono::steady_clock::now() < end);
  return nullptr;
}

// The dialog works on the test thread; the user is this second thread.
class TUser {
 public:
  TUser(HWND dialog, DWORD thread) : FDialog(dialog), FThread(thread) {}

  HWND Item(int id) const { return GetDlgItem(FDialog, id); }
  HWND Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(FThread, &info);
    return info.hwndFocus;
  }
  // Returns once the dialog waits for input again, as a user sees it ready: a message sent to it
  // is handled only in its message loop.
  void WaitUntilReady() const {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(FDialog, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
  }
  // Moves the focus as Tab would, then types into whatever holds it.
  void FocusOn(int id) { SendMessageW(FDialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE); }
  void Type(const std::wstring& text) {
    for (wchar_t c : text) SendMessageW(Focus(), WM_CHAR, c, 1);
  }
  // As a user selects the whole text and types over it.
  void Replace(int id, const std::wstring& text) {
    FocusOn(id);
    SendMessageW(Focus(), EM_SETSEL, 0, -1);
    Type(text);
  }
  // Clicks the button; the error box that must follow is read and answered.
  std::string FailedCheck(int button) {
    Click(button);
    HWND box = FindDialog(FThread, "Error");
    if (!box) return "(no error box)";
    const std::string text = Text(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 250 && IsWindow(box); ++i) Sleep(20);
    // The box is gone before the dialog has moved the focus to the field.
    WaitUntilReady();
    return text;
  }
  void Click(int button) {
    PostMessageW(FDialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(Item(button)));
  }
  bool Closed() {
    for (int i = 0; i < 250 && IsWindowVisible(FDialog); ++i) Sleep(20);
    return !IsWindowVisible(FDialog);
  }

 private:
  HWND FDialog;
  DWORD FThread;
};

class Dialogs : public ::testing::Test {
 protected:
  // Runs execute() on this thread while work(user) drives the dialog of that caption; an error
  // box or a dialog still open at the end is closed, so a failed step cannot hang the test.
  bool Run(const std::string& caption, int cancel, const std::function<bool(HWND)>& execute,
           const std::function<void(TUser&)>& work) {
    const DWORD thread = GetCurrentThreadId();
    std::thread user([&] {
      HWND dialog = FindDialog(thread, caption);
      ASSERT_TRUE(dialog) << caption;
      TUser u(dialog, thread);
      u.WaitUntilReady();
      work(u);
      if (HWND box = FindDialog(thread, "Error", 0ms)) PostMessageW(box, WM_COMMAND, IDOK, 0);
      if (IsWindowVisible(dialog)) u.Click(cancel);
    });
    const bool ok = execute(FOwner);
    user.join();
    return ok;
  }

  void SetUp() override {
    FOwner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 100, 100, 600, 400, nullptr, nullptr,
                             nullptr, nullptr);
  }
  void TearDown() override { DestroyWindow(FOwner); }

  HWND FOwner = nullptr;
};

TEST_F(Dialogs, EditorChecksInOrderAndStoresOnlyAfterAllPass) {
  ASSERT_TRUE(test::InSandbox());
  TKestruneState state;
  state.Settings.HostPort = 7;
  state.Settings.HostBroadcastHost = "";
  state.Settings.SearchBroadcastAddress = StrToIp("10.77.0.255");
  auto existing = std::make_unique<THostRecord>();
  existing->AssignComputerName("Office-PC");
  existing->MacAddress = 0x02E800000001;
  existing->BroadcastAddress = StrToIp("10.77.0.255");
  existing->Port = 9;
  existing->LocalIpAddress = StrToIp("10.77.0.99");  // not one of ours
  state.HostList.push_back(std::move(existing));
  const std::vector<TLocalAddressEntry> local = {{"10.77.0.2", "lan0", "02-77-00-00-00-02"}};

  // A new computer: every check fails in turn with its text and focus; Cancel then keeps all.
  state.EditIndex = 5;  // outside the list
  bool saved = Run("Remote Computer", IDC_HOST_CANCEL, [&](HWND o) { return THostForm(state, local).Execute(o); },
                   [](TUser& u) {
                     EXPECT_EQ(u.Focus(), u.Item(IDC_HOST_NAME));
                     EXPECT_EQ(u.FailedCheck(IDC_HOST_SAVE), "No computer name.");
                     EXPECT_EQ(u.Focus(), u.Item(IDC_HOST_NAME));
                     u.Type(L"  ");  // blanks count as a name
                     EXPECT_EQ(u.FailedCheck(IDC_HOST_SAVE), "Wrong MAC address.");
                     EXPECT_EQ(u.Focus(), u.Item(IDC_HOST_MAC));
                     u.Type(L"aa:bb:cc:dd:ee:ff");
                     u.FocusOn(IDC_HOST_PASSWORD);
                     u.Type(L"12");
                     EXPECT_EQ(u.FailedCheck(IDC_HOST_SAVE), "Wrong SecureOn password.");
                     EXPECT_EQ(u.Focus(), u.Item(IDC_HOST_PASSWORD));
                     u.Replace(IDC_HOST_PASSWORD, L"0a0b0c0d0e0f");
                     u.Replace(IDC_HOST_DESTINATION, L"no-such-computer");
                     EXPECT_EQ(u.FailedCheck(IDC_HOST_SAVE), "Wrong broadcast address.");
                     EXPECT_EQ(Text(u.Item(IDC_HOST_DESTINATION)), "no-such-computer");
                     EXPECT_EQ(GetParent(u.Focus()), u.Item(IDC_HOST_DESTINATION));  // its edit field
                     u.Replace(IDC_HOST_DESTINATION, L"peer-computer");
                     u.Replace(IDC_HOST_PORT, L"65536");
                     EXPECT_EQ(u.FailedCheck(IDC_HOST_SAVE), "Wrong port number.");
                     EXPECT_EQ(u.Focus(), u.Item(IDC_HOST_PORT));
                   });
  EXPECT_FALSE(saved);
  EXPECT_EQ(state.HostList.size(), 1u);
  EXPECT_EQ(state.Settings.HostPort, 7);
  EXPECT_EQ(state.Settings.HostBroadcastHost, "");

  // The same computer saved: port 65535 passes, the router name is kept with its address, the
  // name is cut to 64 characters, and the editor defaults follow.
  saved = Run("Remote Computer", IDC_HOST_CANCEL, [&](HWND o) { return THostForm(state, local).Execute(o); },
              [](TUser& u) {
                u.Type(std::wstring(70, L'n'));
                u.FocusOn(IDC_HOST_MAC);
                u.Type(L"aa:bb:cc:dd:ee:ff");
                u.Replace(IDC_HOST_DESTINATION, L"peer-computer");
                u.Replace(IDC_HOST_PORT, L"65535");
                u.Click(IDC_HOST_SAVE);
                EXPECT_TRUE(u.Closed());
              });
  EXPECT_TRUE(saved);
  ASSERT_EQ(state.HostList.size(), 2u);
  const THostRecord& added = *state.HostList[1];
  EXPECT_EQ(added.ComputerName, std::string(64, 'n'));
  EXPECT_EQ(added.MacAddress, 0xAABBCCDDEEFFull);
  EXPECT_EQ(added.BroadcastAddress, StrToIp("10.77.0.20"));
  EXPECT_EQ(added.BroadcastHost, "peer-computer");
  EXPECT_EQ(added.Port, 65535);
  EXPECT_EQ(added.LocalIpAddress, StrToIp("10.77.0.2"));  // the first local address
  EXPECT_EQ(state.Settings.HostBroadcastHost, "peer-computer");
  EXPECT_EQ(state.Settings.HostPort, 65535);

  // The stored computer whose local address is not ours shows "any" and stores 0 on Save.
  state.EditIndex = 0;
  saved = Run("Remote Computer", IDC_HOST_CANCEL, [&](HWND o) { return THostForm(state, local).Execute(o); },
              [](TUser& u) {
                EXPECT_EQ(Text(u.Item(IDC_HOST_LOCAL)), "any");
                EXPECT_EQ(Text(u.Item(IDC_HOST_DESTINATION)), "10.77.0.255");
                u.Click(IDC_HOST_SAVE);
                EXPECT_TRUE(u.Closed());
              });
  EXPECT_TRUE(saved);
  EXPECT_EQ(state.HostList[0]->LocalIpAddress, 0u);
  EXPECT_EQ(state.HostList[0]->BroadcastHost, "");
  EXPECT_EQ(state.Settings.HostBroadcastHost, "");
}

TEST_F(Dialogs, SearchChecksInOrderAndStoresTheFiveSettingsOnlyOnOk) {
  ASSERT_TRUE(test::InSandbox());
  TSharedSettings settings;
  settings.SearchFromIpAddress = StrToIp("10.77.0.1");
  settings.SearchToIpAddress = StrToIp("10.77.0.254");
  settings.SearchBroadcastAddress = StrToIp("10.77.0.255");
  settings.SearchPort = 7;
  const TSharedSettings before = settings;

  bool ok = Run("Search MAC addresses", IDC_SEARCH_CANCEL, [&](HWND o) { return TSearchForm(settings).Execute(o); },
                [](TUser& u) {
                  EXPECT_EQ(u.Focus(), u.Item(IDC_SEARCH_FROM4));
                  u.Replace(IDC_SEARCH_TO1, L"\b");  // an empty box makes its row wrong
                  EXPECT_EQ(u.FailedCheck(IDC_SEARCH_OK), "Wrong To IP address.");
                  EXPECT_EQ(u.Focus(), u.Item(IDC_SEARCH_TO1));
                  u.Type(L"10");
                  u.Replace(IDC_SEARCH_PORT, L"0");
                  EXPECT_EQ(u.FailedCheck(IDC_SEARCH_OK), "Wrong port number.");
                  EXPECT_EQ(u.Focus(), u.Item(IDC_SEARCH_PORT));
                });
  EXPECT_FALSE(ok);
  EXPECT_EQ(settings.SearchToIpAddress, before.SearchToIpAddress);
  EXPECT_EQ(settings.SearchPort, before.SearchPort);

  // A range of one address, through a typed router name, which is kept.
  ok = Run("Search MAC addresses", IDC_SEARCH_CANCEL, [&](HWND o) { return TSearchForm(settings).Execute(o); },
           [](TUser& u) {
             u.Replace(IDC_SEARCH_FROM4, L"300");  // above 255: selected whole, so the next digit replaces it
             u.Type(L"9");
             EXPECT_EQ(Text(u.Item(IDC_SEARCH_FROM4)), "9");
             u.Replace(IDC_SEARCH_TO4, L"9");
             u.Replace(IDC_SEARCH_BROADCAST, L"peer_computer");
             EXPECT_EQ(Text(u.Item(IDC_SEARCH_BROADCAST)), "peercomputer");
             u.Replace(IDC_SEARCH_BROADCAST, L"peer-computer");
             u.Click(IDC_SEARCH_OK);
             EXPECT_TRUE(u.Closed());
           });
  EXPECT_TRUE(ok);
  EXPECT_EQ(settings.SearchFromIpAddress, StrToIp("10.77.0.9"));
  EXPECT_EQ(settings.SearchToIpAddress, StrToIp("10.77.0.9"));
  EXPECT_EQ(settings.SearchBroadcastAddress, StrToIp("10.77.0.20"));
  EXPECT_EQ(settings.SearchBroadcastHost, "peer-computer");
  EXPECT_EQ(settings.SearchPort, 7);
}

}  // namespace
}  // namespace kst
