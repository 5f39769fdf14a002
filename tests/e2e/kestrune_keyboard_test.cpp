// The table from the keyboard, typed through the X server as a user types: the keys reach the
// table after every dialog, message box and switch of programs; letters leave the current row;
// Shift+F10 and the context-menu key open the menu at the current row; Ctrl+B folds the banner.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "netcore/magic_packet.h"
#include "netcore/registry.h"
#include "netcore/win32/text_win32.h"
#include "sender/messages.h"
#include "sender/registry_store.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/picture.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using namespace std::chrono_literals;
using e2e::TProcess;

constexpr int kCmdAbout = 111;
const std::string kCaption = "Kestrune 2.0.11";
const std::string kEditor = "Remote Computer";

class KestruneKeyboard : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::InSandbox());
    FRegistry->SetRoot(TRegRoot::LocalMachine);
    FRegistry->DeleteKey(kSettingsKey);  // a machine where Kestrune never ran
  }
  void TearDown() override { FRegistry->DeleteKey(kSettingsKey); }

  void Start() {
    FProcess = TProcess::Start(e2e::ProgramPath(KST_KESTRUNE_EXE));
    ASSERT_TRUE(FProcess);
    FWindow = e2e::FindProcessWindow(FProcess->Id(), L"", Widen(kCaption));
    ASSERT_TRUE(FWindow);
    FTable = e2e::FindChild(FWindow, L"SysListView32");
    FStatus = e2e::FindChild(FWindow, L"msctls_statusbar32");
    ASSERT_TRUE(FTable && FStatus);
    // The user clicks the new window's caption.
    ASSERT_TRUE(Activate(FWindow));
  }
  void Exit() {
    PostMessageW(FWindow, WM_APP_EXIT, 0, 0);
    EXPECT_EQ(FProcess->WaitExit(), 0u);
  }

  // What a click on a window's caption or a switch with Alt+Tab does: Windows makes it active.
  static bool Activate(HWND window) {
    SetForegroundWindow(window);
    return e2e::WaitUntil([&] { return GetForegroundWindow() == window; });
  }
  static void Keys(const std::string& caption, const std::vector<std::string>& actions) {
    ASSERT_EQ(test::UserInput(caption, actions), "ok") << caption;
  }
  void Keys(const std::vector<std::string>& actions) const { Keys(kCaption, actions); }

  LRESULT Rows() const { return SendMessageW(FTable, LVM_GETITEMCOUNT, 0, 0); }
  LRESULT Selected() const { return SendMessageW(FTable, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED); }
  // Waits for the current row (0 = the first computer) that the keys should have reached.
  bool RowBecomes(LRESULT row) const { return e2e::WaitUntil([&] { return Selected() == row; }); }

  HWND Window(const std::string& caption) const {
    return e2e::FindProcessWindow(FProcess->Id(), L"", Widen(caption));
  }
  static bool Closes(HWND window) { return e2e::WaitUntil([&] { return !IsWindow(window); }); }

  // Insert, then the fields typed into the editor and Save, all from the keyboard.
  void AddByKeys(const std::string& name, const std::string& mac) {
    Keys({"key Insert"});
    HWND editor = Window(kEditor);
    ASSERT_TRUE(editor) << name;
    // From the name: MAC address, password, destination, port, local address, Save.
    Keys(kEditor, {"type " + name, "key Tab", "type " + mac, "key Tab Tab Tab Tab Tab space"});
    ASSERT_TRUE(Closes(editor)) << name;
    ++FComputers;
    ASSERT_TRUE(e2e::WaitUntil([&] { return Rows() == FComputers; })) << name;
  }

  // The open pop-up menu of the program, if any.
  HWND Menu() const {
    for (HWND w : e2e::ProcessWindows(FProcess->Id()))
      if (e2e::ClassName(w) == "#32768") return w;
    return nullptr;
  }
  // The menu opens with its top left corner just below the row's first cell.
  void ExpectMenuAtRow(int row) const {
    HWND menu = nullptr;
    ASSERT_TRUE(e2e::WaitUntil([&] { return (menu = Menu()) != nullptr; }));
    RECT at{}, table{};
    GetWindowRect(menu, &at);
    GetWindowRect(FTable, &table);
    const int rowBottom = e2e::TableRowPoint(FTable, row).y - e2e::kTableRowPitch / 2 + e2e::kTableRowPitch;
    EXPECT_LE(std::abs(at.top - rowBottom), 3) << at.top << " for a row ending at " << rowBottom;
    EXPECT_GE(at.left, table.left);
    EXPECT_LE(at.left, table.left + 20);
    EXPECT_EQ(Selected(), row - 1);
  }

  std::unique_ptr<IRegistryAccessor> FRegistry = MakeSystemRegistry();
  std::optional<TProcess> FProcess;
  HWND FWindow = nullptr, FTable = nullptr, FStatus = nullptr;
  int FComputers = 0;
};

TEST_F(KestruneKeyboard, TheArrowKeysReachTheTableAfterEveryDialogAndSwitchOfPrograms) {
  Start();
  AddByKeys("Lab-One", "02-EB-00-00-00-01");
  AddByKeys("Lab-Two", "02-EB-00-00-00-02");
  AddByKeys("Lab-Three", "02-EB-00-00-00-03");
  ASSERT_EQ(Rows(), 3);
  ASSERT_EQ(Selected(), 0);
  Keys({"key Down"});
  EXPECT_TRUE(RowBecomes(1)) << "after Save";

  Keys({"key Insert"});
  HWND editor = Window(kEditor);
  ASSERT_TRUE(editor);
  Keys(kEditor, {"key Tab Tab Tab Tab Tab Tab Tab space"});  // Cancel
  ASSERT_TRUE(Closes(editor));
  Keys({"key Down"});
  EXPECT_TRUE(RowBecomes(2)) << "after Cancel";

  Keys({"key Delete"});
  HWND question = Window("Confirm");
  ASSERT_TRUE(question);
  EXPECT_EQ(e2e::MessageBoxText(question), "Are you sure to delete LAB-THREE computer entry ?");
  Keys("Confirm", {"key n"});
  ASSERT_TRUE(Closes(question));
  EXPECT_EQ(Rows(), 3);
  Keys({"key Up"});
  EXPECT_TRUE(RowBecomes(1)) << "after No";

  PostMessageW(FWindow, WM_COMMAND, kCmdAbout, 0);
  HWND about = Window("About Kestrune");
  ASSERT_TRUE(about);
  Keys("About Kestrune", {"key Return"});
  ASSERT_TRUE(Closes(about));
  Keys({"key End"});
  EXPECT_TRUE(RowBecomes(2)) << "after the about box";
  Keys({"key Home"});
  EXPECT_TRUE(RowBecomes(0));
  Keys({"key Next"});
  EXPECT_TRUE(RowBecomes(2));
  Keys({"key Prior"});
  EXPECT_TRUE(RowBecomes(0));

  // The user works in another program, then comes back.
  auto notepad = TProcess::Start(L"C:\\windows\\system32\\notepad.exe");
  ASSERT_TRUE(notepad);
  HWND other = e2e::FindProcessWindow(notepad->Id(), L"Notepad", L"");
  ASSERT_TRUE(other);
  ASSERT_TRUE(Activate(other));
  Keys(e2e::WindowText(other), {"type typed elsewhere"});
  HWND otherEdit = e2e::FindChild(other, L"Edit");
  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::WindowText(otherEdit) == "typed elsewhere"; }));
  ASSERT_TRUE(Activate(FWindow));
  Keys({"key Down"});
  EXPECT_TRUE(RowBecomes(1)) << "after another program";
  EXPECT_EQ(e2e::WindowText(otherEdit), "typed elsewhere");
  notepad->Terminate();
  Exit();
}

TEST_F(KestruneKeyboard, LettersLeaveTheRowAndTheMenuKeysOpenTheMenuThere) {
  Start();
  AddByKeys("Lab-One", "02-EB-00-00-00-01");
  AddByKeys("Lab-Two", "02-EB-00-00-00-02");
  AddByKeys("Lab-Three", "02-EB-00-00-00-03");
  Keys({"key Down"});
  ASSERT_TRUE(RowBecomes(1));
  // The pointer is far from the table: the menu must come to the row, not to the pointer.
  Keys({"mousemove 5 5", "type lab-t", "key shift+F10"});
  ExpectMenuAtRow(2);
  Keys({"key Escape"});
  ASSERT_TRUE(e2e::WaitUntil([&] { return !Menu(); }));
  Keys({"type xyz", "key Menu"});
  ExpectMenuAtRow(2);
  Keys({"key Home Return"});  // Send, the menu's first item

  const std::string hex = test::Hex(BuildMagicPacket(0x02EB00000002, 0).View());
  EXPECT_TRUE(test::WaitForPeerDatagram([&](const test::TPeerDatagram& d) {
    return d.PayloadHex == hex && d.Destination == "255.255.255.255" && d.DestinationPort == 7;
  }));
  const std::string sent = "LAB-TWO: magic packet sent to 255.255.255.255 at ";
  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::WindowText(FStatus).rfind(sent, 0) == 0; }))
      << e2e::WindowText(FStatus);
  EXPECT_EQ(Selected(), 1);
  Sleep(300);  // the last repaint
  const auto picture = e2e::TPicture::Load(e2e::TakeScreenshot("kestrune-keyboard-letters-then-send"));
  ASSERT_TRUE(picture);
  const e2e::TRgb window = e2e::ToRgb(GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(picture->Pixel(e2e::TableRowPoint(FTable, 1)), window);
  EXPECT_EQ(picture->Pixel(e2e::TableRowPoint(FTable, 2)), (e2e::TRgb{224, 224, 224}));
  EXPECT_EQ(picture->Pixel(e2e::TableRowPoint(FTable, 3)), window);
  Exit();
}

TEST_F(KestruneKeyboard, TheBannerFoldsFromTheKeyboardAndOnAClickThatBeginsAndEndsOnIt) {
  Start();
  HWND banner = e2e::FindChild(FWindow, L"KestruneBanner");
  ASSERT_TRUE(banner);
  const auto height = [&] {
    RECT r{};
    GetWindowRect(banner, &r);
    return r.bottom - r.top;
  };
  const auto heightBecomes = [&](int pixels) { return e2e::WaitUntil([&] { return height() == pixels; }); };
  ASSERT_EQ(height(), 125);  // open on a new machine
  Keys({"key ctrl+b"});
  EXPECT_TRUE(heightBecomes(16));
  Keys({"key ctrl+b"});
  EXPECT_TRUE(heightBecomes(125));

  // Pressed on the table, released on the banner: no click of the banner's.
  RECT b{};
  GetWindowRect(banner, &b);
  const POINT row = e2e::TableRowPoint(FTable, 1);
  // A point of the banner open or folded.
  const std::string onBanner = "mousemove " + std::to_string(b.left + 40) + " " + std::to_string(b.top + 8);
  Keys({"mousemove " + std::to_string(row.x) + " " + std::to_string(row.y), "mousedown 1", onBanner, "mouseup 1"});
  // Then a whole click on it folds it; the fold shows that the release before it was handled.
  Keys({"mousedown 1", "mouseup 1"});
  EXPECT_TRUE(heightBecomes(16));
  Exit();
}

}  // namespace
}  // namespace kst
