#include "sender/win32/ini_dialogs_win32.h"

#include <commdlg.h>
#include <shlobj.h>

#include <vector>

#include "netcore/win32/text_win32.h"

namespace kst {
namespace {

constexpr wchar_t kFilter[] = L"Kestrune files (*.wol)\0*.wol\0";
constexpr wchar_t kReplaceQuestion[] =
    L"There is already a file with the same name in this location. Do you want to replace it?";

struct THandle {
  HANDLE H;
  explicit THandle(HANDLE h) : H(h) {}
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  ~THandle() {
    if (H != INVALID_HANDLE_VALUE) CloseHandle(H);
  }
};

std::string SystemReason(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring reason = n && text ? std::wstring(text, n) : L"Error " + std::to_wstring(code);
  if (text) LocalFree(text);
  while (!reason.empty() && (reason.back() == L'\r' || reason.back() == L'\n' || reason.back() == L' ')) reason.pop_back();
  return Narrow(reason);
}

// A list file is small; anything larger is not one of ours.
constexpr LONGLONG kMaxListFileSize = 64LL << 20;

bool FileExists(const std::wstring& name) {
  const DWORD attributes = GetFileAttributesW(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RunDialog(HWND owner, bool save, const std::wstring& dir, std::wstring& name) {
  std::vector<wchar_t> buffer(32768, L'\0');
  name.copy(buffer.data(), std::min(name.size(), buffer.size() - 1));
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = kFilter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrInitialDir = dir.empty() ? nullptr : dir.c_str();
  ofn.lpstrTitle = save ? L"Export computer list to file:" : L"Import computer list from file:";
  ofn.lpstrDefExt = L"wol";
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOTESTFILECREATE;
  if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return false;
  name = buffer.data();
  return true;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace

TFileBytes TIniFileSystemWin32::Read(const std::string& name) {
  TFileBytes file;
  THandle handle(CreateFileW(Widen(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD error = GetLastError();
  if (handle.H == INVALID_HANDLE_VALUE && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) return file;
  file.State = TFileBytes::TState::Failed;
  LARGE_INTEGER size{};
  if (handle.H != INVALID_HANDLE_VALUE && GetFileSizeEx(handle.H, &size)) {
    if (size.QuadPart > kMaxListFileSize) {
      file.Reason = "The file is larger than " + std::to_string(kMaxListFileSize >> 20) + " MB, which no computer list is.";
      return file;
    }
    file.Bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD done = 0;
    // Windows refuses a read where another program locked part of the file.
    if (ReadFile(handle.H, file.Bytes.data(), static_cast<DWORD>(file.Bytes.size()), &done, nullptr)) {
      // A file another program has just shortened ends where it ends now.
      file.Bytes.resize(done);
      file.State = TFileBytes::TState::Read;
      return file;
    }
    file.Bytes.clear();
  }
  if (handle.H != INVALID_HANDLE_VALUE) error = GetLastError();
  file.Reason = SystemReason(error);
  return file;
}

std::string TIniFileSystemWin32::Write(const std::string& name, const std::string& bytes) {
  const std::wstring target = Widen(name);
  const std::wstring temp = target + L".new~";
  {
    THandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.H == INVALID_HANDLE_VALUE) return SystemReason(GetLastError());
    DWORD done = 0;
    if (!WriteFile(file.H, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) || done != bytes.size() ||
        !FlushFileBuffers(file.H)) {
      const DWORD error = GetLastError();
      CloseHandle(file.H);
      file.H = INVALID_HANDLE_VALUE;
      DeleteFileW(temp.c_str());
      return SystemReason(error);
    }
  }
  if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    DeleteFileW(temp.c_str());
    return SystemReason(error);
  }
  return {};
}

TIniDialogs::TIniDialogs() {
  wchar_t path[MAX_PATH] = {};
  if (SHGetSpecialFolderPathW(nullptr, path, CSIDL_PERSONAL, FALSE)) {
    FInitialDir = path;
  } else {
    const DWORD n = GetCurrentDirectoryW(MAX_PATH, path);
    if (n > 0 && n < MAX_PATH) FInitialDir = path;
  }
}

bool TIniDialogs::ExportDlg(HWND owner, const TKestruneState& state, const TViewSettings& view) {
  PumpMessages();
  std::wstring name = FExportFileName;
  if (!RunDialog(owner, true, FInitialDir, name)) return false;
  // Both dialogs propose this name next time, written or not.
  FExportFileName = name;
  FImportFileName = name;
  if (FileExists(name) && MessageBoxW(owner, kReplaceQuestion, L"Warning", MB_YESNO | MB_ICONWARNING) != IDYES) return false;
  TIniFileSystemWin32 files;
  const std::string failure = SaveIniFile(Narrow(name), state, view, files);
  if (failure.empty()) return true;
  const std::wstring text = L"The computer list could not be written to " + name + L".\r\n\r\n" + Widen(failure);
  MessageBoxW(owner, text.c_str(), L"Error", MB_OK | MB_ICONERROR);
  return false;
}

bool TIniDialogs::ImportDlg(HWND owner, TKestruneState& state, TViewSettings& view,
                            const std::vector<std::string>& localAddresses) {
  PumpMessages();
  std::wstring name = FImportFileName;
  if (!RunDialog(owner, false, FInitialDir, name)) return false;
  FImportFileName = name;
  TIniFileSystemWin32 files;
  TIniPlatform platform{files, [](std::string_view s) { return AnsiToUtf8(s); }, localAddresses,
                        GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  const std::string failure = LoadIniFile(Narrow(name), state, view, platform);
  if (failure.empty()) return true;
  const std::wstring text = L"The computer list could not be read from " + name + L".\r\n\r\n" + Widen(failure);
  MessageBoxW(owner, text.c_str(), L"Error", MB_OK | MB_ICONERROR);
  return false;
}

}  // namespace kst
