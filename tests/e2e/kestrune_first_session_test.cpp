// A new user's first session with the shipped kestrune.exe on a machine where it never ran:
// every computer is added through the editor, and every command reaches the selected row.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>

#include "netcore/magic_packet.h"
#include "netcore/win32/text_win32.h"
#include "sender/registry_store.h"
#include "sender/res/dialog_ids.h"
#include "tests/e2e/kestrune_session.h"
#include "tests/e2e/picture.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using namespace std::chrono_literals;
using e2e::TPicture;
using e2e::TRgb;

constexpr int kRowPitch = e2e::kTableRowPitch;
const TRgb kSelectedGrey{224, 224, 224};

// The current local time in the form the status bar shows it.
std::string LongTime() {
  wchar_t text[128];
  const int n = GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, 128);
  return n > 0 ? Narrow(std::wstring(text, static_cast<size_t>(n - 1))) : std::string();
}

class KestruneFirstSession : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(test::InSandbox()); }  // a machine where Kestrune never ran

  bool RowsAre(int rows, int selected) const {
    return e2e::WaitUntil([&] { return FSession.Rows() == rows && FSession.Selected() == selected; });
  }

  // A point of table row r (1 = the first computer) in the table's client area.
  POINT RowPoint(int row) const {
    POINT at = e2e::TableRowPoint(FSession.Table(), row);
    ScreenToClient(FSession.Table(), &at);
    return at;
  }
  static void Mouse(HWND window, UINT message, POINT at) {
    PostMessageW(window, message, message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK ? MK_LBUTTON : 0,
                 MAKELPARAM(at.x, at.y));
  }
  void Key(WORD key) const { PostMessageW(FSession.Table(), WM_KEYDOWN, key, 1); }

  HWND Editor() { return e2e::FindProcessWindow(FSession.Process().Id(), L"#32770", L"Remote Computer"); }
  // Fills the open editor with a computer at the peer and saves it.
  static void SaveComputer(HWND editor, const std::string& name, const std::string& mac) {
    ASSERT_TRUE(editor);
    e2e::SetItemText(editor, IDC_HOST_NAME, name);
    e2e::SetItemText(editor, IDC_HOST_MAC, mac);
    e2e::SetItemText(editor, IDC_HOST_DESTINATION, test::Env("KST_PEER_ADDRESS"));
    e2e::SetItemText(editor, IDC_HOST_PORT, "40019");
    ASSERT_TRUE(e2e::PressButton(editor, IDC_HOST_SAVE));
    EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindow(editor); }));
  }
  // The name the editor opened with, then Cancel.
  std::string EditorNameThenCancel() {
    HWND editor = Editor();
    if (!editor) return "(no editor)";
    const std::string name = e2e::ItemText(editor, IDC_HOST_NAME);
    EXPECT_TRUE(e2e::PressButton(editor, IDC_HOST_CANCEL));
    EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindow(editor); }));
    return name;
  }
  // Answers the delete question with Yes; the question asked.
  std::string ConfirmDelete() {
    HWND box = e2e::FindMessageBox(FSession.Process().Id());
    if (!box) return "(no question)";
    const std::string text = e2e::MessageBoxText(box);
    EXPECT_TRUE(e2e::PressButtonByText(box, L"&Yes"));
    return text;
  }
  // Send on the selected row: the packet reaches the peer once more and the status bar says
  // so, with the time of the send.
  void SendAndExpect(const std::string& upperName, uint64_t mac) {
    const std::string hex = test::Hex(BuildMagicPacket(mac, 0).View());
    const auto packets = [&] {
      size_t n = 0;
      for (const auto& d : test::ReadPeerLog()) n += d.PayloadHex == hex && d.DestinationPort == 40019;
      return n;
    };
    const size_t before = packets();
    std::set<std::string> times{LongTime()};
    FSession.Command(e2e::kCmdSend);
    EXPECT_TRUE(e2e::WaitUntil([&] { return packets() == before + 1; })) << upperName;
    const std::string prefix = upperName + ": magic packet sent to " + test::Env("KST_PEER_ADDRESS") + " at ";
    EXPECT_TRUE(e2e::WaitUntil([&] { return FSession.StatusText().rfind(prefix, 0) == 0; }));
    times.insert(LongTime());
    const std::string status = FSession.StatusText();
    EXPECT_TRUE(status.size() > prefix.size() && times.count(status.substr(prefix.size())) == 1) << status;
  }
  TRgb RowColour(const TPicture& picture, int row) const {
    return picture.Pixel(e2e::TableRowPoint(FSession.Table(), row));
  }

  e2e::TKestruneSession FSession;
};

TEST_F(KestruneFirstSession, EveryCommandReachesTheSelectedRowFromTheFirstComputerOn) {
  ASSERT_TRUE(FSession.Start());
  ASSERT_TRUE(RowsAre(1, 0));  // the blank row of an empty list
  const TRgb window = e2e::ToRgb(GetSysColor(COLOR_WINDOW));

  // Computers > Add, then Magic packet > Send.
  FSession.Command(e2e::kCmdAdd);
  SaveComputer(Editor(), "Lab-One", "02-E9-00-00-00-01");
  ASSERT_TRUE(RowsAre(1, 0));
  SendAndExpect("LAB-ONE", 0x02E900000001);
  // One computer: selected, but never highlighted.
  auto one = e2e::ScreenPicture("kestrune-first-computer");
  ASSERT_TRUE(one);
  EXPECT_EQ(RowColour(*one, 1), window);

  FSession.Command(e2e::kCmdAdd);
  SaveComputer(Editor(), "Lab-Two", "02-E9-00-00-00-02");
  ASSERT_TRUE(RowsAre(2, 0));  // adding keeps the row
  Mouse(FSession.Table(), WM_LBUTTONDOWN, RowPoint(2));
  Mouse(FSession.Table(), WM_LBUTTONUP, RowPoint(2));
  ASSERT_TRUE(RowsAre(2, 1));
  auto two = e2e::ScreenPicture("kestrune-first-two-computers");
  ASSERT_TRUE(two);
  EXPECT_EQ(RowColour(*two, 2), kSelectedGrey);
  EXPECT_EQ(RowColour(*two, 1), window);

  // Clicks below the rows and on the title row, and a right click, leave the row where it is;
  // the right click opens the pop-up menu.
  Mouse(FSession.Table(), WM_LBUTTONDOWN, {110, 6 * kRowPitch});
  Mouse(FSession.Table(), WM_LBUTTONUP, {110, 6 * kRowPitch});
  Mouse(FSession.Titles(), WM_LBUTTONDOWN, {40, kRowPitch / 2});
  Mouse(FSession.Titles(), WM_LBUTTONUP, {40, kRowPitch / 2});
  Mouse(FSession.Table(), WM_RBUTTONDOWN, RowPoint(1));
  Mouse(FSession.Table(), WM_RBUTTONUP, RowPoint(1));
  EXPECT_TRUE(e2e::WaitUntil([&] {
    for (HWND w : e2e::ProcessWindows(FSession.Process().Id()))
      if (e2e::ClassName(w) == "#32768") return true;
    return false;
  }));
  PostMessageW(FSession.Window(), WM_KEYDOWN, VK_ESCAPE, 1);  // closes the menu
  Sleep(300);
  EXPECT_TRUE(RowsAre(2, 1));

  // The Delete key on the bottom row: the new bottom row is selected.
  Key(VK_DELETE);
  EXPECT_EQ(ConfirmDelete(), "Are you sure to delete LAB-TWO computer entry ?");
  ASSERT_TRUE(RowsAre(1, 0));
  SendAndExpect("LAB-ONE", 0x02E900000001);

  Mouse(FSession.Table(), WM_LBUTTONDBLCLK, RowPoint(1));
  EXPECT_EQ(EditorNameThenCancel(), "Lab-One");
  Mouse(FSession.Titles(), WM_LBUTTONDBLCLK, {40, kRowPitch / 2});
  EXPECT_EQ(EditorNameThenCancel(), "");  // a new computer
  Key(VK_RETURN);
  EXPECT_EQ(EditorNameThenCancel(), "Lab-One");

  // The last computer deleted: the next one added is selected at once.
  Key(VK_DELETE);
  EXPECT_EQ(ConfirmDelete(), "Are you sure to delete LAB-ONE computer entry ?");
  ASSERT_TRUE(RowsAre(1, 0));
  Key(VK_RETURN);  // Enter on the empty list: the editor for a new computer
  SaveComputer(Editor(), "Lab-Three", "02-E9-00-00-00-03");
  ASSERT_TRUE(RowsAre(1, 0));
  SendAndExpect("LAB-THREE", 0x02E900000003);
  EXPECT_EQ(FSession.Exit(), 0u);

  // The first exit writes the list only: the settings key did not exist before it.
  ASSERT_TRUE(FSession.Registry().KeyExists(kSettingsKey));
  EXPECT_FALSE(FSession.StoredNumber("Selection"));
  EXPECT_FALSE(FSession.StoredNumber("FormWidth"));
  EXPECT_EQ(FSession.StoredText("ComputerName", "0000"), "Lab-Three");

  // The second session, with the selection as earlier builds stored it (0): the first row is
  // selected; Insert adds, Down moves the row.
  FSession.StoreSetting("Selection", 0);
  ASSERT_TRUE(FSession.Start());
  ASSERT_TRUE(RowsAre(1, 0));
  Key(VK_INSERT);
  SaveComputer(Editor(), "Lab-Four", "02-E9-00-00-00-04");
  ASSERT_TRUE(RowsAre(2, 0));
  Key(VK_DOWN);
  ASSERT_TRUE(RowsAre(2, 1));
  EXPECT_EQ(FSession.Exit(), 0u);
  EXPECT_EQ(FSession.StoredNumber("Selection"), 2u);
}

}  // namespace
}  // namespace kst
