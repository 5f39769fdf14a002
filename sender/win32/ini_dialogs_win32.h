// File > Export and File > Import: the two common file dialogs and the real file system.
#pragma once

#include <windows.h>

#include <string>

#include "sender/ini_store.h"

namespace kst {

// Reads a file whatever other programs do with it, unless one holds it without sharing; writes
// a new file beside the target and moves it over, so that a failed write leaves the old file
// as it was. Names are UTF-8.
class TIniFileSystemWin32 final : public IIniFileSystem {
 public:
  TFileBytes Read(const std::string& name) override;
  std::string Write(const std::string& name, const std::string& bytes) override;
};

// ExportDlg and ImportDlg with what they share: the start folder and the names last chosen. Each
// dialog proposes the file it was last given; an export is also proposed to the next import.
class TIniDialogs {
 public:
  TIniDialogs();
  // Asks for a name (and about replacing), writes the file; an error box tells why it failed.
  // False when nothing was written.
  bool ExportDlg(HWND owner, const TKestruneState& state, const TViewSettings& view);
  // Asks for a name and imports it; an error box tells why a file could not be read. False on
  // Cancel or that failure: nothing has changed.
  bool ImportDlg(HWND owner, TKestruneState& state, TViewSettings& view, const std::vector<std::string>& localAddresses);
  const std::wstring& InitialDir() const { return FInitialDir; }
  const std::wstring& ImportFileName() const { return FImportFileName; }
  const std::wstring& ExportFileName() const { return FExportFileName; }

 private:
  std::wstring FInitialDir;
  std::wstring FImportFileName;
  std::wstring FExportFileName;
};

}  // namespace kst
