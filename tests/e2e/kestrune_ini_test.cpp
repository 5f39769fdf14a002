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

namespace kst {
namespace {

using namespace std::chrono_literals;

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
    ASSERT_TRUE(FSession.Start());
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

}  // namespace
}  // namespace kst
