// The table from the keyboard, typed through the X server as a user types: the keys reach the
// table after every dialog, message box and switch of programs; letters leave the current row;
// Shift+F10 and the context-menu key open the menu at the current row; Ctrl+B folds the banner.
#include <windows.h>

#include <gtest/gtest.h>

#include "netcore/address_text.h"
#include "netcore/magic_packet.h"
#include "netcore/registry.h"
#include "netcore/win32/text_win32.h"
#include "sender/res/dialog_ids.h"
#include "tests/e2e/kestrune_session.h"
#include "tests/e2e/picture.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

const std::string kCaption = "Kestrune 2.0.11";
const std::string kEditor = "Remote Computer";

class KestruneKeyboard : public ::testing::Test {
 protected:
  // A machine where Kestrune never ran; the user clicks the new window's caption.
  void Start() {
    ASSERT_TRUE(FSession.Start());
    ASSERT_TRUE(Activate(FSession.Window()));
  }
  void Exit() { EXPECT_EQ(FSession.Exit(), 0u); }
  void TearDown() override {
    if (FSlowNames) {
      EXPECT_TRUE(test::UseNames("refuse"));
    }
  }

  // What a click on a window's caption or a switch with Alt+Tab does: Windows makes it active.
  static bool Activate(HWND window) {
    SetForegroundWindow(window);
    return e2e::WaitUntil([&] { return GetForegroundWindow() == window; });
  }
  static void Keys(const std::string& caption, const std::vector<std::string>& actions) {
    ASSERT_EQ(test::UserInput(caption, actions), "ok") << caption;
  }
  static void Keys(const std::vector<std::string>& actions) { Keys(kCaption, actions); }

  HWND Window(const std::string& caption) {
    return e2e::FindProcessWindow(FSession.Process().Id(), L"", Widen(caption));
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
    ASSERT_TRUE(FSession.WaitRows(++FComputers)) << name;
  }

  // The open pop-up menu of the program, if any.
  HWND Menu() {
    for (HWND w : e2e::ProcessWindows(FSession.Process().Id()))
      if (e2e::ClassName(w) == "#32768") return w;
    return nullptr;
  }
  // The menu opens with its top left corner just below the row's first cell.
  void ExpectMenuAtRow(int row) {
    HWND menu = nullptr;
    ASSERT_TRUE(e2e::WaitUntil([&] { return (menu = Menu()) != nullptr; }));
    RECT at{}, table{};
    GetWindowRect(menu, &at);
    GetWindowRect(FSession.Table(), &table);
    const int rowBottom = e2e::TableRowPoint(FSession.Table(), row).y - e2e::kTableRowPitch / 2 + e2e::kTableRowPitch;
    EXPECT_LE(std::abs(at.top - rowBottom), 3) << at.top << " for a row ending at " << rowBottom;
    EXPECT_GE(at.left, table.left);
    EXPECT_LE(at.left, table.left + 20);
    EXPECT_EQ(FSession.Selected(), row - 1);
  }

  e2e::TKestruneSession FSession;
  int FComputers = 0;
  bool FSlowNames = false;
};

TEST_F(KestruneKeyboard, TheArrowKeysReachTheTableAfterEveryDialogAndSwitchOfPrograms) {
  Start();
  AddByKeys("Lab-One", "02-EB-00-00-00-01");
  AddByKeys("Lab-Two", "02-EB-00-00-00-02");
  AddByKeys("Lab-Three", "02-EB-00-00-00-03");
  ASSERT_EQ(FSession.Rows(), 3);
  ASSERT_EQ(FSession.Selected(), 0);
  Keys({"key Down"});
  EXPECT_TRUE(FSession.WaitSelected(1)) << "after Save";

  Keys({"key Insert"});
  HWND editor = Window(kEditor);
  ASSERT_TRUE(editor);
  Keys(kEditor, {"key Tab Tab Tab Tab Tab Tab Tab space"});  // Cancel
  ASSERT_TRUE(Closes(editor));
  Keys({"key Down"});
  EXPECT_TRUE(FSession.WaitSelected(2)) << "after Cancel";

  Keys({"key Delete"});
  HWND question = Window("Confirm");
  ASSERT_TRUE(question);
  EXPECT_EQ(e2e::MessageBoxText(question), "Are you sure to delete LAB-THREE computer entry ?");
  Keys("Confirm", {"key n"});
  ASSERT_TRUE(Closes(question));
  EXPECT_EQ(FSession.Rows(), 3);
  Keys({"key Up"});
  EXPECT_TRUE(FSession.WaitSelected(1)) << "after No";

  FSession.Command(e2e::kCmdAbout);
  HWND about = Window("About Kestrune");
  ASSERT_TRUE(about);
  Keys("About Kestrune", {"key Return"});
  ASSERT_TRUE(Closes(about));
  Keys({"key End"});
  EXPECT_TRUE(FSession.WaitSelected(2)) << "after the about box";
  Keys({"key Home"});
  EXPECT_TRUE(FSession.WaitSelected(0));
  Keys({"key Next"});
  EXPECT_TRUE(FSession.WaitSelected(2));
  Keys({"key Prior"});
  EXPECT_TRUE(FSession.WaitSelected(0));

  // The user works in another program, then comes back.
  auto notepad = e2e::TProcess::Start(L"C:\\windows\\system32\\notepad.exe");
  ASSERT_TRUE(notepad);
  HWND other = e2e::FindProcessWindow(notepad->Id(), L"Notepad", L"");
  ASSERT_TRUE(other);
  ASSERT_TRUE(Activate(other));
  Keys(e2e::WindowText(other), {"type typed elsewhere"});
  HWND otherEdit = e2e::FindChild(other, L"Edit");
  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::WindowText(otherEdit) == "typed elsewhere"; }));
  ASSERT_TRUE(Activate(FSession.Window()));
  Keys({"key Down"});
  EXPECT_TRUE(FSession.WaitSelected(1)) << "after another program";
  EXPECT_EQ(e2e::WindowText(otherEdit), "typed elsewhere");
  notepad->Terminate();

  // Minimised and restored, as from the task bar.
  ShowWindow(FSession.Window(), SW_MINIMIZE);
  ASSERT_TRUE(e2e::WaitUntil([&] { return IsIconic(FSession.Window()) != 0; }));
  ShowWindow(FSession.Window(), SW_RESTORE);
  ASSERT_TRUE(Activate(FSession.Window()));
  Keys({"key Down"});
  EXPECT_TRUE(FSession.WaitSelected(2)) << "after the window was minimised";
  Exit();
}

TEST_F(KestruneKeyboard, LettersLeaveTheRowAndTheMenuKeysOpenTheMenuThere) {
  Start();
  AddByKeys("Lab-One", "02-EB-00-00-00-01");
  AddByKeys("Lab-Two", "02-EB-00-00-00-02");
  AddByKeys("Lab-Three", "02-EB-00-00-00-03");
  Keys({"key Down"});
  ASSERT_TRUE(FSession.WaitSelected(1));
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
  EXPECT_TRUE(e2e::WaitUntil([&] { return FSession.StatusText().rfind(sent, 0) == 0; }))
      << FSession.StatusText();
  EXPECT_EQ(FSession.Selected(), 1);
  const auto picture = e2e::ScreenPicture("kestrune-keyboard-letters-then-send");
  ASSERT_TRUE(picture);
  const e2e::TRgb window = e2e::ToRgb(GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(picture->Pixel(e2e::TableRowPoint(FSession.Table(), 1)), window);
  EXPECT_EQ(picture->Pixel(e2e::TableRowPoint(FSession.Table(), 2)), (e2e::TRgb{224, 224, 224}));
  EXPECT_EQ(picture->Pixel(e2e::TableRowPoint(FSession.Table(), 3)), window);
  Exit();
}

TEST_F(KestruneKeyboard, TheBannerFoldsFromTheKeyboardAndOnAClickThatBeginsAndEndsOnIt) {
  ASSERT_TRUE(FSession.StoreList({{"Lab-One", 0x02EB00000001}, {"Lab-Two", 0x02EB00000002}, {"Lab-Three", 0x02EB00000003},
                                   {"Lab-Four", 0x02EB00000004}, {"Lab-Five", 0x02EB00000005}}));
  Start();
  HWND banner = FSession.Banner();
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

  RECT b{};
  GetWindowRect(banner, &b);
  const auto moveTo = [](POINT p) { return "mousemove " + std::to_string(p.x) + " " + std::to_string(p.y); };
  // A point of the banner open or folded.
  const std::string onBanner = moveTo({b.left + 40, b.top + 8});
  // The table moves down after the banner has opened: a row's place is taken once it has.
  const auto rowOfOpenBanner = [&](int row) {
    EXPECT_TRUE(e2e::WaitUntil([&] {
      RECT t{};
      GetWindowRect(FSession.Table(), &t);
      return t.top >= b.bottom;
    }));
    return e2e::TableRowPoint(FSession.Table(), row);
  };

  // Pressed on the table, released on the banner: no click of the banner's.
  Keys({moveTo(rowOfOpenBanner(1)), "mousedown 1", onBanner, "mouseup 1"});
  // Then a whole click on it folds it; the fold shows that the release before it was handled.
  Keys({"mousedown 1", "mouseup 1"});
  EXPECT_TRUE(heightBecomes(16));

  // A double click opens it once, or folds it once: the second click, on the banner or on the
  // row that the fold brought under the pointer, is the double click's. The key after it comes
  // to the window after the clicks: once it has moved the row, the clicks have been handled.
  ASSERT_EQ(FSession.Selected(), 0);
  Keys({"doubleclick 1", "key Down"});
  ASSERT_TRUE(FSession.WaitSelected(1));
  EXPECT_EQ(height(), 125);
  Keys({moveTo({b.left + 40, b.top + 100}), "doubleclick 1", "key Up"});
  EXPECT_TRUE(FSession.WaitSelected(0));
  EXPECT_EQ(height(), 16);
  // A click on a row right after a click on the banner, away from it, is the row's.
  Keys({onBanner, "mousedown 1", "mouseup 1"});
  ASSERT_TRUE(heightBecomes(125));
  Keys({moveTo(rowOfOpenBanner(3)), "mousedown 1", "mouseup 1"});
  EXPECT_TRUE(FSession.WaitSelected(2));
  Exit();
}

TEST_F(KestruneKeyboard, AScansQuestionOverTheEditorLeavesTheKeysInTheEditor) {
  FSession.StoreSettings([](IRegistryAccessor& reg) {
    TRegistryX x(reg);
    x.WriteInt64("SearchFromIpAddress", StrToIp("10.77.0.20"));
    x.WriteInt64("SearchToIpAddress", StrToIp("10.77.0.24"));
    x.WriteInt64("SearchBroadcastAddress", StrToIp("10.77.0.255"));
    reg.WriteDword("SearchPort", 9);
  });
  // The reverse lookup of a found computer keeps the scan going until the editor is open.
  ASSERT_TRUE(test::UseNames("slow 3"));
  FSlowNames = true;
  Start();
  HWND search = FSession.OpenDialog(e2e::kCmdSearch, L"Search MAC addresses");
  ASSERT_TRUE(search);
  ASSERT_TRUE(e2e::PressButton(search, IDC_SEARCH_OK));
  ASSERT_TRUE(Closes(search));
  // Enter on the blank row of the empty list: a new computer.
  Keys({"key Return"});
  HWND editor = Window(kEditor);
  ASSERT_TRUE(editor);
  Keys(kEditor, {"type Lab"});
  HWND question = e2e::FindProcessWindow(FSession.Process().Id(), L"#32770", L"Confirm", std::chrono::seconds(30));
  ASSERT_TRUE(question);
  EXPECT_EQ(e2e::MessageBoxText(question), "Found 3 new computers. Do you want to add them ?");
  Keys("Confirm", {"key y"});
  ASSERT_TRUE(Closes(question));
  EXPECT_TRUE(FSession.WaitRows(3));

  // The editor is still the window the keys reach; the main window waits behind it.
  Keys(kEditor, {"type -One"});
  EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::ItemText(editor, IDC_HOST_NAME) == "Lab-One"; }))
      << e2e::ItemText(editor, IDC_HOST_NAME);
  EXPECT_FALSE(IsWindowEnabled(FSession.Window()));
  Keys(kEditor, {"key Tab", "type 02-EB-00-00-00-09", "key Tab Tab Tab Tab Tab space"});
  ASSERT_TRUE(Closes(editor));
  EXPECT_TRUE(FSession.WaitRows(4));
  Keys({"key End"});
  EXPECT_TRUE(FSession.WaitSelected(3));
  Exit();
  const auto names = FSession.StoredNames();
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(names[3], "Lab-One 02-EB-00-00-00-09");
}

}  // namespace
}  // namespace kst
