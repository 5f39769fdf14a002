// Export and import of the computer list with the window layout and the shared settings, as
// a "wol" INI file. The file system and the ANSI code page come from the caller.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sender/host_record.h"
#include "sender/ini_file.h"
#include "sender/registry_store.h"

namespace kst {

// What reading a file gave: its bytes, or that there is no such file, or the reason it
// could not be read.
struct TFileBytes {
  enum class TState { Read, Missing, Failed };
  TState State = TState::Missing;
  std::string Bytes;
  std::string Reason;
};

class IIniFileSystem {
 public:
  virtual ~IIniFileSystem() = default;
  virtual TFileBytes Read(const std::string& name) = 0;
  // Replaces the file whole or leaves it as it was; empty on success, else the system's reason.
  virtual std::string Write(const std::string& name, const std::string& bytes) = 0;
};

struct TIniPlatform {
  IIniFileSystem& Files;
  TAnsiToUtf8 AnsiToUtf8;
  std::vector<std::string> LocalAddresses;  // the local address list; the first is the default
  int ScreenWidth = 0;
  int ScreenHeight = 0;
};

// The file's text (UTF-8, CR LF) for the list, the view (bounds in screen pixels) and the settings.
std::string IniText(const TKestruneState& state, const TViewSettings& view);
// Empty on success, else the reason the file could not be written.
std::string SaveIniFile(const std::string& fileName, const TKestruneState& state, const TViewSettings& view,
                        IIniFileSystem& files);

// Appends the file's computers and takes over its layout and settings; view.Bounds is the
// placed window afterwards. A missing file resets columns and window only. Empty then, else
// the reason the file could not be read, and nothing has changed.
std::string LoadIniFile(const std::string& fileName, TKestruneState& state, TViewSettings& view,
                        const TIniPlatform& platform);
// The same over the file's bytes (IniFileText).
void LoadIniBytes(std::string_view bytes, TKestruneState& state, TViewSettings& view, const TIniPlatform& platform);

}  // namespace kst
