// The MSI installed by double-click, as a user does, under Wine's msiexec, which draws the
// package's own pages; in a Wine prefix of its own (tests/packaging/msi_dialogs_test), with an
// older package beside this build's. Each page is read and its screenshot checked where its
// texts and buttons are.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <mutex>
#include <thread>

#include "netcore/registry.h"
#include "netcore/win32/text_win32.h"
#include "tests/e2e/kestrune_session.h"
#include "tests/e2e/picture.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using namespace std::chrono_literals;
using e2e::TProcess;

const std::string kWelcome = "Welcome to the setup of Kestrune ";  // and the version
const std::string kFolder = "Destination folder";
const std::string kInstalling = "Installing Kestrune";
const std::string kRemoving = "Removing Kestrune";
const std::string kInstalled = "Kestrune is installed";
const std::string kRemoved = "Kestrune is removed";
const std::string kCancelQuestion = "Do you want to cancel the setup of Kestrune?";
const std::string kFailed = "Setup failed";
const std::string kChosenFolder = "C:\\Tools\\Kestrune\\";

std::vector<HWND> ShownControls(HWND window) {
  std::vector<HWND> all;
  EnumChildWindows(
      window,
      [](HWND child, LPARAM param) -> BOOL {
        if (IsWindowVisible(child)) reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&all));
  return all;
}

// The shown control of the window whose text starts with text, or null.
HWND Control(HWND window, const std::string& text) {
  for (HWND child : ShownControls(window))
    if (e2e::WindowText(child).rfind(text, 0) == 0) return child;
  return nullptr;
}

// The heading of a page of the setup's window (or the cancel question), empty for another window.
std::string Heading(HWND window) {
  if (e2e::WindowText(window) != "Kestrune Setup") return {};
  for (const std::string& heading :
       {kWelcome, kFolder, kInstalling, kRemoving, kInstalled, kRemoved, kCancelQuestion, kFailed})
    if (HWND control = Control(window, heading)) return e2e::WindowText(control);
  return {};
}

// msiexec with a package, as a double-click starts it, and a watcher that notes each page as it
// shows (every page is a window of its own) and, when asked, presses Cancel on the progress page
// the moment it shows, which holds the setup at its question until it is answered.
class TSetup {
 public:
  TSetup(const std::string& option, const std::string& package, bool cancelOnProgress = false)
      : FCancelOnProgress(cancelOnProgress),
        FProcess(TProcess::Start(L"C:\\windows\\system32\\msiexec.exe",
                                 Widen(option) + L" \"" + Widen(test::WinePath(package)) + L"\"")) {
    if (FProcess) FWatcher = std::thread([this] { Watch(); });
  }
  ~TSetup() {
    FStop = true;
    if (FWatcher.joinable()) FWatcher.join();
    if (FCancel.joinable()) FCancel.join();
  }
  bool Started() const { return FProcess.has_value(); }
  DWORD Id() const { return FProcess->Id(); }

  // The window showing the page (or question) whose heading starts with heading, waiting for it.
  HWND WaitForPage(const std::string& heading, std::chrono::milliseconds timeout = 30s) {
    HWND found = nullptr;
    e2e::WaitUntil([&] { return (found = Look(heading)) != nullptr; }, timeout);
    return found;
  }
  // The headings of the pages shown so far, in order.
  std::vector<std::string> Pages() {
    std::lock_guard<std::mutex> lock(FMutex);
    std::vector<std::string> pages;
    for (const auto& seen : FSeen) pages.push_back(seen.second);
    return pages;
  }
  std::optional<DWORD> WaitExit() { return FProcess->WaitExit(30s); }

 private:
  // Notes each page newly shown; the window showing the heading wanted, or null.
  HWND Look(const std::string& wanted = {}) {
    std::lock_guard<std::mutex> lock(FMutex);
    HWND found = nullptr;
    for (HWND window : e2e::ProcessWindows(FProcess->Id())) {
      auto seen = std::find_if(FSeen.begin(), FSeen.end(), [&](const auto& s) { return s.first == window; });
      const std::string heading = seen != FSeen.end() ? seen->second : Heading(window);
      if (heading.empty()) continue;
      if (seen == FSeen.end()) {
        FSeen.emplace_back(window, heading);
        // The click returns once the question it opens is answered, so it is made beside.
        if (FCancelOnProgress && heading == kInstalling)
          FCancel = std::thread([window] { e2e::PressButtonByText(window, L"Cancel"); });
      }
      if (!wanted.empty() && heading.rfind(wanted, 0) == 0) found = window;
    }
    return found;
  }
  void Watch() {
    while (!FStop) {
      Look();
      Sleep(2);
    }
  }

  const bool FCancelOnProgress;
  std::optional<TProcess> FProcess;
  std::thread FWatcher;
  std::thread FCancel;
  std::atomic<bool> FStop{false};
  std::mutex FMutex;
  std::vector<std::pair<HWND, std::string>> FSeen;  // each page's window and heading, in order
};

// Pixels of text (all three channels below 100) inside a control, a few pixels in from its edges,
// where a button's frame does not reach.
int DarkPixelsInside(const e2e::TPicture& picture, HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  int dark = 0;
  for (int y = r.top + 4; y < r.bottom - 4; ++y)
    for (int x = r.left + 4; x < r.right - 4; ++x) {
      const e2e::TRgb p = picture.Pixel(x, y);
      dark += p.R < 100 && p.G < 100 && p.B < 100;
    }
  return dark;
}

// A page drawn where it is in the screenshot: its face in its corner, each text given (the
// start of a control's text) written in its control, and each greyed button without dark text.
void ExpectDrawn(const std::optional<e2e::TPicture>& shot, HWND page, const std::vector<std::string>& texts,
                 const std::vector<std::string>& greyed = {}) {
  ASSERT_TRUE(shot);
  EXPECT_EQ(e2e::InsideCorner(*shot, page), e2e::ToRgb(GetSysColor(COLOR_BTNFACE))) << Heading(page);
  for (const auto& text : texts) {
    HWND control = Control(page, text);
    EXPECT_TRUE(control) << Heading(page) << ": no \"" << text << "\"";
    if (control) {
      EXPECT_GT(DarkPixelsInside(*shot, control), 20) << Heading(page) << ": \"" << text << "\" not drawn";
    }
  }
  for (const auto& button : greyed) {
    HWND control = Control(page, button);
    EXPECT_TRUE(control && !IsWindowEnabled(control)) << Heading(page) << ": " << button << " not greyed";
    if (control) {
      EXPECT_EQ(DarkPixelsInside(*shot, control), 0) << Heading(page) << ": " << button;
    }
  }
}

// The Programs and Features entries named Kestrune, by their versions.
std::vector<std::string> ProgramsAndFeatures() {
  const std::string uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  auto registry = MakeSystemRegistry();
  registry->SetRoot(TRegRoot::LocalMachine);
  registry->SetAccess(TRegAccess::Read);
  std::vector<std::string> versions;
  if (!registry->OpenKey(uninstall, false)) return versions;
  for (const auto& product : registry->GetKeyNames())
    if (registry->OpenKey(uninstall + "\\" + product, false) && registry->ReadString("DisplayName") == "Kestrune")
      versions.push_back(registry->ReadString("DisplayVersion").value_or(""));
  return versions;
}

bool Exists(const std::string& path) { return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// A handle of the installer's API, closed when it goes.
class TMsiHandle {
 public:
  TMsiHandle() = default;
  TMsiHandle(const TMsiHandle&) = delete;
  TMsiHandle& operator=(const TMsiHandle&) = delete;
  ~TMsiHandle() {
    if (FHandle) MsiCloseHandle(FHandle);
  }
  MSIHANDLE* Put() { return &FHandle; }
  MSIHANDLE Get() const { return FHandle; }

 private:
  MSIHANDLE FHandle = 0;
};

// The rows a query of the package gives, each its fields joined by blanks.
std::set<std::string> Query(const std::string& package, const std::string& sql) {
  std::set<std::string> rows;
  TMsiHandle database;
  TMsiHandle view;
  if (MsiOpenDatabaseW(Widen(test::WinePath(package)).c_str(), static_cast<LPCWSTR>(nullptr), database.Put()) !=
          ERROR_SUCCESS ||
      MsiDatabaseOpenViewW(database.Get(), Widen(sql).c_str(), view.Put()) != ERROR_SUCCESS ||
      MsiViewExecute(view.Get(), 0) != ERROR_SUCCESS)
    return rows;
  for (;;) {
    TMsiHandle record;
    if (MsiViewFetch(view.Get(), record.Put()) != ERROR_SUCCESS) break;
    std::string row;
    for (UINT field = 1; field <= MsiRecordGetFieldCount(record.Get()); ++field) {
      wchar_t text[512] = {};
      DWORD size = 512;
      MsiRecordGetStringW(record.Get(), field, text, &size);
      if (field > 1) row += ' ';
      row += Narrow(text);
    }
    rows.insert(row);
  }
  return rows;
}

using TRows = std::set<std::string>;

// Wine's msiexec shows an error in a message box of its own and never finds a program holding a
// file; Windows shows both only on the package's own pages, and without them shows nothing: an
// error (a folder that cannot be written, a full disk) is only logged, and a running kestrune.exe
// is replaced at the next restart unasked. So the package is read for the pages Windows takes.
TEST(MsiDialogs, ErrorsAndProgramsHoldingFilesHaveThePagesWindowsShowsThemOn) {
  const std::string msi = test::Env("KST_MSI");
  EXPECT_EQ(Query(msi, "SELECT `Value` FROM `Property` WHERE `Property`='ErrorDialog'"), TRows{"ErrorDlg"});
  // The error style bit (65536), and the message's text control first.
  EXPECT_EQ(Query(msi, "SELECT `Attributes`, `Control_First` FROM `Dialog` WHERE `Dialog`='ErrorDlg'"),
            TRows{"65539 ErrorText"});
  EXPECT_EQ(Query(msi, "SELECT `Type` FROM `Control` WHERE `Dialog_`='ErrorDlg' AND `Control`='ErrorText'"),
            TRows{"Text"});
  EXPECT_EQ(Query(msi, "SELECT `Control_`, `Argument` FROM `ControlEvent` WHERE `Dialog_`='ErrorDlg' AND "
                       "`Event`='EndDialog'"),
            (TRows{"A ErrorAbort", "C ErrorCancel", "I ErrorIgnore", "N ErrorNo", "O ErrorOk", "R ErrorRetry",
                   "Y ErrorYes"}));

  // The programs holding files, listed by the installer on either page.
  EXPECT_EQ(Query(msi, "SELECT `Dialog_`, `Type` FROM `Control` WHERE `Property`='FileInUseProcess'"),
            (TRows{"FilesInUse ListBox", "MsiRMFilesInUse ListBox"}));
  EXPECT_EQ(Query(msi, "SELECT `Argument` FROM `ControlEvent` WHERE `Dialog_`='FilesInUse' AND `Event`='EndDialog'"),
            (TRows{"Exit", "Ignore", "Retry"}));
  // Restart Manager closes and restarts them when the user keeps the choice offered first.
  EXPECT_EQ(Query(msi, "SELECT `Event`, `Argument`, `Condition` FROM `ControlEvent` WHERE "
                       "`Dialog_`='MsiRMFilesInUse' AND `Control_`='OK'"),
            (TRows{"EndDialog Return 1", "RMShutdownAndRestart 0 KstRMOption~=\"UseRM\""}));
  EXPECT_EQ(Query(msi, "SELECT `Value` FROM `Property` WHERE `Property`='KstRMOption'"), TRows{"UseRM"});
}

// A removal cancelled or failed leaves Kestrune installed; its page says so, shown by the same
// condition as the removal's finish page (the pages test sees that one), where the page of an
// install says that Kestrune was not installed. Wine's msiexec goes on removing when Cancel is
// answered Yes, so the package is read.
TEST(MsiDialogs, ACancelledOrFailedRemovalSaysKestruneStays) {
  const std::string msi = test::Env("KST_MSI");
  EXPECT_EQ(Query(msi, "SELECT `Dialog_`, `Control_`, `Action` FROM `ControlCondition` WHERE "
                       "`Dialog_`<>'ProgressDlg' AND `Dialog_`<>'ExitDlg' AND `Condition`='REMOVE=\"ALL\"'"),
            (TRows{"UserExitDlg Description Hide", "UserExitDlg DescriptionRemoving Show", "FatalErrorDlg Description Hide",
                   "FatalErrorDlg DescriptionRemoving Show"}));
  EXPECT_EQ(Query(msi, "SELECT `Dialog_`, `Text` FROM `Control` WHERE `Control`='DescriptionRemoving'"),
            (TRows{"UserExitDlg [ProductName] was not removed: it stays on this computer as it was.",
                   "FatalErrorDlg [ProductName] was not removed: it stays on this computer. To learn why, remove it "
                   "again from a command prompt with a log: msiexec /x [ProductCode] /l*v setup.log"}));
}

TEST(MsiDialogs, PagesInOrderTheChosenFolderKeptByTheUpgradeTheProgramStartsAndRemovalKeepsTheList) {
  ASSERT_TRUE(test::InSandbox());
  e2e::TKestruneSession session;  // Kestrune's key, as a user of an earlier copy left it
  ASSERT_TRUE(session.StoreList({{"Office-PC", 0x02E800000001}}));

  // The older package, by double-click: Next, another folder, Install; Cancel while it
  // installs, answered No; Finish.
  {
    TSetup setup("/i", test::Env("KST_MSI_OLDER"), true);
    ASSERT_TRUE(setup.Started());
    HWND page = setup.WaitForPage(kWelcome);
    ASSERT_TRUE(page);
    EXPECT_EQ(Heading(page), kWelcome + "1.9.0");
    ExpectDrawn(e2e::ScreenPicture("msi-1-welcome", 0ms), page, {kWelcome, "Setup installs Kestrune", "&Next", "Cancel"},
                {"&Back"});
    ASSERT_TRUE(e2e::PressButtonByText(page, L"&Next"));

    page = setup.WaitForPage(kFolder);
    ASSERT_TRUE(page);
    HWND folder = e2e::FindChild(page, L"Edit");
    ASSERT_TRUE(folder);
    EXPECT_EQ(e2e::WindowText(folder), "C:\\Program Files\\Kestrune\\");
    e2e::SetText(folder, kChosenFolder);
    const auto shot = e2e::ScreenPicture("msi-2-folder", 0ms);
    ExpectDrawn(shot, page, {kFolder, kChosenFolder, "&Back", "&Install", "Cancel"});
    if (shot) {
      EXPECT_EQ(e2e::InsideCorner(*shot, folder), e2e::ToRgb(GetSysColor(COLOR_WINDOW)));
    }
    ASSERT_TRUE(e2e::PressButtonByText(page, L"&Install"));

    HWND question = setup.WaitForPage(kCancelQuestion);
    ASSERT_TRUE(question);
    page = setup.WaitForPage(kInstalling);
    ASSERT_TRUE(page);
    // The setup waits for the answer, its progress page under the question.
    const auto held = e2e::ScreenPicture("msi-3-progress", 0ms);
    ExpectDrawn(held, page, {kInstalling});
    ExpectDrawn(held, question, {kCancelQuestion, "&Yes", "&No"});
    ASSERT_TRUE(e2e::PressButtonByText(question, L"&No"));

    page = setup.WaitForPage(kInstalled, 60s);
    ASSERT_TRUE(page);
    ExpectDrawn(e2e::ScreenPicture("msi-4-finish", 0ms), page,
                {kInstalled, "Kestrune and Vellamar, with their help", "&Finish"}, {"&Back", "Cancel"});
    ASSERT_TRUE(e2e::PressButtonByText(page, L"&Finish"));
    EXPECT_EQ(setup.WaitExit(), 0u);
    EXPECT_EQ(setup.Pages(), (std::vector<std::string>{kWelcome + "1.9.0", kFolder, kInstalling, kCancelQuestion,
                                                       kInstalled}));
  }
  EXPECT_TRUE(Exists(kChosenFolder + "kestrune.exe"));
  EXPECT_FALSE(Exists("C:\\Program Files\\Kestrune"));
  EXPECT_EQ(ProgramsAndFeatures(), std::vector<std::string>{"1.9.0"});

  // This build's package over it: the folder page proposes the folder chosen before.
  {
    TSetup setup("/i", test::Env("KST_MSI"));
    ASSERT_TRUE(setup.Started());
    HWND page = setup.WaitForPage(kWelcome);
    ASSERT_TRUE(page);
    EXPECT_EQ(Heading(page), kWelcome + KST_PROJECT_VERSION);
    ASSERT_TRUE(e2e::PressButtonByText(page, L"&Next"));
    page = setup.WaitForPage(kFolder);
    ASSERT_TRUE(page);
    EXPECT_EQ(e2e::WindowText(e2e::FindChild(page, L"Edit")), kChosenFolder);
    ASSERT_TRUE(e2e::PressButtonByText(page, L"&Install"));
    page = setup.WaitForPage(kInstalled, 60s);
    ASSERT_TRUE(page);
    ASSERT_TRUE(e2e::PressButtonByText(page, L"&Finish"));
    EXPECT_EQ(setup.WaitExit(), 0u);
    EXPECT_EQ(setup.Pages(),
              (std::vector<std::string>{kWelcome + KST_PROJECT_VERSION, kFolder, kInstalling, kInstalled}));
  }
  EXPECT_EQ(ProgramsAndFeatures(), std::vector<std::string>{KST_PROJECT_VERSION});

  // The older package once more: Setup says why it cannot, then shows its failed page, whose
  // command for a log takes the package's path in quotes (a Downloads folder may have blanks).
  {
    TSetup setup("/i", test::Env("KST_MSI_OLDER"));
    ASSERT_TRUE(setup.Started());
    HWND box = e2e::FindMessageBox(setup.Id(), 30s);
    ASSERT_TRUE(box);
    EXPECT_EQ(e2e::MessageBoxText(box), "A newer version of Kestrune is already installed.");
    ASSERT_TRUE(e2e::PressButtonByText(box, L"OK"));
    HWND page = setup.WaitForPage(kFailed);
    ASSERT_TRUE(page);
    const std::string command = "msiexec /i \"" + test::WinePath(test::Env("KST_MSI_OLDER")) + "\" /l*v setup.log";
    HWND description = Control(page, "Kestrune 1.9.0 was not installed");
    ASSERT_TRUE(description);
    const std::string text = e2e::WindowText(description);
    EXPECT_EQ(text.substr(text.size() - std::min(text.size(), command.size())), command);
    ExpectDrawn(e2e::ScreenPicture("msi-5-failed", 0ms), page, {kFailed, "Kestrune 1.9.0 was not installed", "&Finish"},
                {"&Back", "Cancel"});
    ASSERT_TRUE(e2e::PressButtonByText(page, L"&Finish"));
    EXPECT_EQ(setup.WaitExit(), 1603u);
    EXPECT_EQ(setup.Pages(), std::vector<std::string>{kFailed});
  }
  EXPECT_EQ(ProgramsAndFeatures(), std::vector<std::string>{KST_PROJECT_VERSION});

  // Kestrune starts from there with the list it had.
  {
    auto kestrune = TProcess::Start(Widen(kChosenFolder + "kestrune.exe"));
    ASSERT_TRUE(kestrune);
    HWND window = e2e::FindProcessWindow(kestrune->Id(), L"KestruneMainWindow", L"Kestrune " KST_PROJECT_VERSION);
    ASSERT_TRUE(window);
    HWND table = e2e::FindChild(window, L"SysListView32");
    EXPECT_TRUE(e2e::WaitUntil([&] { return SendMessageW(table, LVM_GETITEMCOUNT, 0, 0) == 1; }));
    PostMessageW(window, WM_APP_EXIT, 0, 0);
    EXPECT_EQ(kestrune->WaitExit(), 0u);
  }

  // Removed with its pages: progress, then the finish page, which says the list stays.
  {
    TSetup setup("/x", test::Env("KST_MSI"));
    ASSERT_TRUE(setup.Started());
    HWND page = setup.WaitForPage(kRemoved, 60s);
    ASSERT_TRUE(page);
    ExpectDrawn(e2e::ScreenPicture("msi-6-removed", 0ms), page, {kRemoved, "The list of computers stays", "&Finish"},
                {"&Back", "Cancel"});
    EXPECT_FALSE(Control(page, kInstalled));
    ASSERT_TRUE(e2e::PressButtonByText(page, L"&Finish"));
    EXPECT_EQ(setup.WaitExit(), 0u);
    EXPECT_EQ(setup.Pages(), (std::vector<std::string>{kRemoving, kRemoved}));
  }
  EXPECT_FALSE(Exists(kChosenFolder));
  EXPECT_TRUE(ProgramsAndFeatures().empty());
  EXPECT_EQ(session.StoredNames(), std::vector<std::string>{"Office-PC 02-E8-00-00-00-01"});
}

}  // namespace
}  // namespace kst
