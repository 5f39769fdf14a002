// File > Export and File > Import of the shipped kestrune.exe: the real file dialogs, the real
// file system, the replace question and the error box.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "netcore/win32/text_win32.h"
#include "tests/e2e/kestrune_session.h"
#include "tests/e2e/picture.h"
#include "tests/win32/sandbox_env.h"
#include "tests/win32/system_text.h"

namespace kst {
namespace {

using namespace std::chrono_literals;

void WriteFileBytes(const std::string& windowsPath, const std::string& bytes) {
  std::ofstream(windowsPath, std::ios::binary) << bytes;
}

std::string ReadFileBytes(const std::string& windowsPath) {
  std::ifstream in(windowsPath, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class KestruneIni : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::InSandbox());
    FDir = test::WinePath(test::Env("KST_SANDBOX_DIR")) + "\\ini-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryW(Widen(FDir).c_str(), nullptr);
    ASSERT_TRUE(FSession.StoreList({{"Desk", 0x0277000000A1, "10.77.0.255", 9}, {"Café", 0x0277000000A2, "10.77.0.255", 9}}));
  }
  void TearDown() override {
    if (FSession.Running()) FSession.Exit(WM_CLOSE);
  }

  // The file dialog's file name edit.
  static HWND FileNameEdit(HWND dialog) {
    HWND combo = e2e::FindChildById(dialog, 0x47c);  // cmb13
    HWND edit = combo ? e2e::FindChild(combo, L"Edit") : nullptr;
    return edit ? edit : e2e::FindChildById(dialog, 0x480);  // edt1
  }
  static void ChooseName(HWND dialog, const std::string& name) {
    HWND edit = FileNameEdit(dialog);
    ASSERT_TRUE(edit);
    e2e::SetText(edit, name);
    ASSERT_TRUE(e2e::PressButton(dialog, IDOK));
  }

  e2e::TKestruneSession FSession;
  std::string FDir;
};

TEST_F(KestruneIni, ExportAsksBeforeReplacingAndImportProposesTheExportedFile) {
  ASSERT_TRUE(FSession.Start());
  const std::string file = FDir + "\\office.wol";
  DeleteFileW(Widen(file).c_str());
  HWND dialog = FSession.OpenDialog(e2e::kCmdExport, L"Export computer list to file:");
  ASSERT_TRUE(dialog);
  {
    // Drawn on top, where the dialog is: its face in its corner and its labels' text.
    const auto shot = e2e::ScreenPicture("kestrune-export-dialog", 0ms);
    ASSERT_TRUE(shot);
    EXPECT_EQ(e2e::InsideCorner(*shot, dialog), e2e::ToRgb(GetSysColor(COLOR_BTNFACE)));
    EXPECT_GT(e2e::DarkPixels(*shot, dialog), 100);
  }
  ChooseName(dialog, file);
  ASSERT_TRUE(e2e::WaitUntil([&] { return ReadFileBytes(file).find("[Search]") != std::string::npos; }));
  const std::string written = ReadFileBytes(file);
  EXPECT_EQ(written.rfind("[0]\r\nLocalIpAddress=", 0), 0u) << written.substr(0, 40);
  EXPECT_NE(written.find("\r\nComputerName=Desk\r\nMacAddress=2710124363937\r\n"), std::string::npos);
  EXPECT_NE(written.find("\r\nComputerName=Caf\xC3\xA9\r\n"), std::string::npos);

  // Replacing it answered No leaves the file as it was.
  { std::ofstream(file, std::ios::binary) << "[7]\r\nComputerName=Kept\r\n"; }
  dialog = FSession.OpenDialog(e2e::kCmdExport, L"Export computer list to file:");
  ASSERT_TRUE(dialog);
  ChooseName(dialog, file);
  HWND box = e2e::FindProcessWindow(FSession.Process().Id(), L"#32770", L"Warning");
  ASSERT_TRUE(box);
  EXPECT_EQ(e2e::MessageBoxText(box),
            "There is already a file with the same name in this location. Do you want to replace it?");
  EXPECT_TRUE(e2e::PressButton(box, IDNO));
  Sleep(300);
  EXPECT_EQ(ReadFileBytes(file), "[7]\r\nComputerName=Kept\r\n");

  // The import proposes that file; importing it appends its one computer.
  dialog = FSession.OpenDialog(e2e::kCmdImport, L"Import computer list from file:");
  ASSERT_TRUE(dialog);
  const std::string proposed = e2e::WindowText(FileNameEdit(dialog));
  EXPECT_NE(proposed.find("office.wol"), std::string::npos) << proposed;
  ChooseName(dialog, file);
  EXPECT_TRUE(e2e::WaitUntil([&] { return FSession.Rows() == 3; })) << FSession.Rows();
}

TEST_F(KestruneIni, RepeatedSectionNamesEachImportTheirOwnComputerAndEachDialogProposesItsLastFile) {
  ASSERT_TRUE(FSession.Start());
  const std::string exported = FDir + "\\exported.wol";
  const std::string joined = FDir + "\\joined.wol";
  DeleteFileW(Widen(exported).c_str());
  {
    std::ofstream(joined, std::ios::binary) << "[0]\r\nComputerName=Alpha\r\nMacAddress=2710124364001\r\n\r\n"
                                               "[1]\r\nComputerName=Beta\r\nMacAddress=2710124364002\r\n\r\n"
                                               "[0]\r\nComputerName=Gamma\r\nMacAddress=2710124364003\r\n";
  }
  HWND dialog = FSession.OpenDialog(e2e::kCmdExport, L"Export computer list to file:");
  ASSERT_TRUE(dialog);
  ChooseName(dialog, exported);
  ASSERT_TRUE(e2e::WaitUntil([&] { return ReadFileBytes(exported).find("[Search]") != std::string::npos; }));

  dialog = FSession.OpenDialog(e2e::kCmdImport, L"Import computer list from file:");
  ASSERT_TRUE(dialog);
  ChooseName(dialog, joined);
  EXPECT_TRUE(e2e::WaitUntil([&] { return FSession.Rows() == 5; })) << FSession.Rows();

  dialog = FSession.OpenDialog(e2e::kCmdImport, L"Import computer list from file:");
  ASSERT_TRUE(dialog);
  std::string proposed = e2e::WindowText(FileNameEdit(dialog));
  EXPECT_NE(proposed.find("joined.wol"), std::string::npos) << proposed;
  EXPECT_TRUE(e2e::PressButton(dialog, IDCANCEL));
  ASSERT_TRUE(e2e::WaitUntil([&] { return !IsWindow(dialog); }));
  dialog = FSession.OpenDialog(e2e::kCmdExport, L"Export computer list to file:");
  ASSERT_TRUE(dialog);
  proposed = e2e::WindowText(FileNameEdit(dialog));
  EXPECT_NE(proposed.find("exported.wol"), std::string::npos) << proposed;
  EXPECT_TRUE(e2e::PressButton(dialog, IDCANCEL));
  ASSERT_TRUE(e2e::WaitUntil([&] { return !IsWindow(dialog); }));

  // What the table held is what exit saves: read it back from the registry.
  EXPECT_EQ(FSession.Exit(WM_CLOSE), 0u);
  std::vector<std::string> names;
  for (const char* key : {"0000", "0001", "0002", "0003", "0004"})
    names.push_back(FSession.StoredText("ComputerName", key).value_or("?"));
  EXPECT_EQ(names, (std::vector<std::string>{"Desk", "Caf\xC3\xA9", "Alpha", "Beta", "Gamma"}));
}

TEST_F(KestruneIni, ExportIntoAFolderThatCannotBeWrittenShowsTheReason) {
  ASSERT_TRUE(FSession.Start());
  const std::string file = FDir + "\\no such folder\\office.wol";
  HWND dialog = FSession.OpenDialog(e2e::kCmdExport, L"Export computer list to file:");
  ASSERT_TRUE(dialog);
  ChooseName(dialog, file);
  HWND box = e2e::FindProcessWindow(FSession.Process().Id(), L"#32770", L"Error");
  ASSERT_TRUE(box);
  const std::string text = e2e::MessageBoxText(box);
  EXPECT_EQ(text.rfind("The computer list could not be written to " + file + ".", 0), 0u) << text;
  EXPECT_GT(text.size(), ("The computer list could not be written to " + file + ".\r\n\r\n").size()) << text;
  EXPECT_TRUE(e2e::PressButton(box, IDOK));
  EXPECT_EQ(GetFileAttributesW(Widen(file).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(KestruneIni, ListSavedByNotepadAsUnicodeImportsItsTwoComputers) {
  ASSERT_TRUE(FSession.Start());
  const std::string file = FDir + "\\notepad.wol";
  const std::wstring text = L"[0]\r\nComputerName=Zo\u00EB\r\nMacAddress=2710124364001\r\n\r\n"
                            L"[1] ; lab\r\nComputerName=\"\u5C71\u7530 PC\"\r\nMacAddress=\"2710124364002\"\r\n";
  std::string bytes = "\xFF\xFE";
  for (wchar_t c : text) bytes += static_cast<char>(c & 0xFF), bytes += static_cast<char>(c >> 8);
  WriteFileBytes(file, bytes);
  HWND dialog = FSession.OpenDialog(e2e::kCmdImport, L"Import computer list from file:");
  ASSERT_TRUE(dialog);
  ChooseName(dialog, file);
  EXPECT_TRUE(FSession.WaitRows(4)) << FSession.Rows();
  EXPECT_EQ(FSession.Exit(WM_CLOSE), 0u);
  EXPECT_EQ(FSession.StoredNames(),
            (std::vector<std::string>{"Desk 02-77-00-00-00-A1", "Caf\xC3\xA9 02-77-00-00-00-A2",
                                      "Zo\xC3\xAB 02-77-00-00-00-E1", "\xE5\xB1\xB1\xE7\x94\xB0 PC 02-77-00-00-00-E2"}));
}

TEST_F(KestruneIni, FileHeldOpenByAnotherProgramShowsTheReasonAndChangesNothing) {
  ASSERT_TRUE(FSession.Start());
  const std::string file = FDir + "\\held.wol";
  WriteFileBytes(file, "[0]\r\nComputerName=Held\r\n[Coordinates]\r\nLeft=0\r\nTop=0\r\nHeight=700\r\nWidth=900\r\n");
  RECT before{};
  GetWindowRect(FSession.Window(), &before);
  // Held as an editor that shares nothing holds it.
  HANDLE holder = CreateFileW(Widen(file).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  HWND dialog = FSession.OpenDialog(e2e::kCmdImport, L"Import computer list from file:");
  ASSERT_TRUE(dialog);
  ChooseName(dialog, file);
  HWND box = e2e::FindProcessWindow(FSession.Process().Id(), L"#32770", L"Error");
  CloseHandle(holder);
  ASSERT_TRUE(box);
  EXPECT_EQ(e2e::MessageBoxText(box), "The computer list could not be read from " + file + ".\r\n\r\n" +
                                          test::SystemText(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(e2e::PressButton(box, IDOK));
  ASSERT_TRUE(e2e::WaitUntil([&] { return !IsWindow(box); }));
  RECT after{};
  GetWindowRect(FSession.Window(), &after);
  EXPECT_TRUE(EqualRect(&before, &after)) << after.left << "," << after.top << " " << after.right << "," << after.bottom;
  EXPECT_EQ(FSession.Rows(), 2);
  EXPECT_EQ(FSession.Exit(WM_CLOSE), 0u);
  EXPECT_EQ(FSession.StoredNames(), (std::vector<std::string>{"Desk 02-77-00-00-00-A1", "Caf\xC3\xA9 02-77-00-00-00-A2"}));
}

TEST_F(KestruneIni, WindowStartedMaximisedExportsItsNormalBoundsAndAnImportRestoresIt) {
  FSession.StoreSettings([](IRegistryAccessor& reg) {
    reg.WriteDword("FormLeft", 120);
    reg.WriteDword("FormTop", 90);
    reg.WriteDword("FormWidth", 600);
    reg.WriteDword("FormHeight", 400);
  });
  // As a shortcut set to "Run: Maximized" starts it.
  ASSERT_TRUE(FSession.Launch(L"", SW_SHOWMAXIMIZED));
  ASSERT_TRUE(FSession.FindMainWindow());
  ASSERT_TRUE(e2e::WaitUntil([&] { return IsZoomed(FSession.Window()) != FALSE; }));
  const std::string exported = FDir + "\\maximised.wol";
  DeleteFileW(Widen(exported).c_str());
  HWND dialog = FSession.OpenDialog(e2e::kCmdExport, L"Export computer list to file:");
  ASSERT_TRUE(dialog);
  ChooseName(dialog, exported);
  ASSERT_TRUE(e2e::WaitUntil([&] { return ReadFileBytes(exported).find("[Search]") != std::string::npos; }));
  const std::string written = ReadFileBytes(exported);
  EXPECT_NE(written.find("[Coordinates]\r\nLeft=120\r\nTop=90\r\nHeight=400\r\nWidth=600\r\n"), std::string::npos)
      << written.substr(written.find("[Coordinates]"), 60);

  // A file's layout replaces the maximised window, and exit keeps it.
  const std::string layout = FDir + "\\layout.wol";
  WriteFileBytes(layout, "[Coordinates]\r\nLeft=50\r\nTop=60\r\nHeight=500\r\nWidth=700\r\n");
  dialog = FSession.OpenDialog(e2e::kCmdImport, L"Import computer list from file:");
  ASSERT_TRUE(dialog);
  ChooseName(dialog, layout);
  RECT r{};
  EXPECT_TRUE(e2e::WaitUntil([&] {
    GetWindowRect(FSession.Window(), &r);
    return !IsZoomed(FSession.Window()) && r.left == 50 && r.top == 60 && r.right == 750 && r.bottom == 560;
  })) << r.left << "," << r.top << " " << r.right << "," << r.bottom;
  EXPECT_EQ(FSession.Exit(WM_CLOSE), 0u);
  EXPECT_EQ(FSession.StoredNumber("FormLeft"), 50u);
  EXPECT_EQ(FSession.StoredNumber("FormWidth"), 700u);
}

}  // namespace
}  // namespace kst
