#include "ui/win32/html_help_win32.h"

namespace kst {
namespace {

constexpr UINT kHhDisplayTopic = 0x0000;
constexpr UINT kHhSafeDisplayTopic = 0x0020;
constexpr UINT kHhCloseAll = 0x0012;
constexpr UINT kHhInitialize = 0x001C;
constexpr UINT kHhUninitialize = 0x001D;

}  // namespace

THtmlHelp& THtmlHelp::Process() {
  static THtmlHelp help;
  return help;
}

THtmlHelp::THtmlHelp() {
  FModule = LoadLibraryW(L"hhctrl.ocx");
  // Through void*: the entry point's real type is known only here.
  if (FModule) FEntry = reinterpret_cast<TEntry>(reinterpret_cast<void*>(GetProcAddress(FModule, "HtmlHelpW")));
  if (FEntry) FEntry(nullptr, nullptr, kHhInitialize, reinterpret_cast<DWORD_PTR>(&FCookie));
}

THtmlHelp::~THtmlHelp() {
  if (FEntry) FEntry(nullptr, nullptr, kHhUninitialize, FCookie);
  if (FModule) FreeLibrary(FModule);
}

std::wstring THtmlHelp::ProgramHelpFile() {
  std::wstring file(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, file.data(), static_cast<DWORD>(file.size()));
    if (n == 0) return L".chm";
    if (n < file.size()) {
      file.resize(n);
      break;
    }
    file.resize(file.size() * 2);
  }
  const size_t dot = file.find_last_of(L".\\/");
  if (dot != std::wstring::npos && file[dot] == L'.') file.resize(dot);
  return file + L".chm";
}

bool THtmlHelp::ShowFile(HWND owner, const std::wstring& file) {
  if (!FEntry) return false;
  HWND viewer = FEntry(owner, file.c_str(), kHhSafeDisplayTopic, 0);
  // Some viewers (Wine's) do not know the safe request; the plain one opens the same topic.
  if (!viewer && GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES)
    viewer = FEntry(owner, file.c_str(), kHhDisplayTopic, 0);
  return viewer != nullptr;
}

void THtmlHelp::CloseAll() {
  if (FEntry) FEntry(nullptr, nullptr, kHhCloseAll, 0);
}

}  // namespace kst
