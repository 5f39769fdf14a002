#include "sender/ini_store.h"

#include <cstdio>

#include "netcore/address_text.h"

namespace kst {
namespace {

// The 64-bit fields are signed 64-bit integers in the file: a hand-edited "-1" reads as all bits
// set and must be written back as "-1", or the next import would find it out of range. Values
// below 2^48, all that the program itself makes, are the plain decimal integer either way.
std::string Decimal64(uint64_t value) { return std::to_string(static_cast<int64_t>(value)); }

uint16_t Low16(int value) { return static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFF); }

uint64_t ReadWide(const TIniFile& ini, const char* section, const char* key, uint64_t def) {
  return static_cast<uint64_t>(ini.ReadFloatTrunc(section, key, static_cast<int64_t>(def)));
}

void PlaceFromFile(TViewSettings& view, const TWindowBounds& read, const TIniPlatform& platform) {
  view.Bounds = PlaceWindow(read, platform.ScreenWidth, platform.ScreenHeight);
}

}  // namespace

std::string IniText(const TKestruneState& state, const TViewSettings& view) {
  TIniFile ini;
  for (size_t i = 0; i < state.HostList.size(); ++i) {
    const THostRecord& r = *state.HostList[i];
    const std::string section = std::to_string(i);
    ini.WriteInteger(section, "LocalIpAddress", static_cast<int32_t>(r.LocalIpAddress));
    ini.WriteString(section, "ComputerName", r.ComputerName);
    ini.WriteString(section, "MacAddress", Decimal64(r.MacAddress));
    ini.WriteString(section, "Password", Decimal64(r.Password));
    ini.WriteString(section, "BroadcastAddress", Decimal64(r.BroadcastAddress));
    ini.WriteString(section, "BroadcastHost", r.BroadcastHost);
    ini.WriteInteger(section, "Port", r.Port);
  }
  ini.WriteInteger("Coordinates", "Left", view.Bounds.Left);
  ini.WriteInteger("Coordinates", "Top", view.Bounds.Top);
  ini.WriteInteger("Coordinates", "Height", view.Bounds.Height);
  ini.WriteInteger("Coordinates", "Width", view.Bounds.Width);
  ini.WriteInteger("Coordinates", "Promo", view.Promo ? 1 : 0);
  for (size_t n = 0; n < view.Columns.size(); ++n) ini.WriteInteger("Columns", std::to_string(n), view.Columns[n]);
  ini.WriteInteger("Coordinates", "Selection", view.Selection);
  const TSharedSettings& s = state.Settings;
  ini.WriteString("Host", "BroadcastAddress", Decimal64(s.HostBroadcastAddress));
  ini.WriteString("Host", "BroadcastHost", s.HostBroadcastHost);
  ini.WriteInteger("Host", "Port", s.HostPort);
  ini.WriteString("Search", "FromIpAddress", Decimal64(s.SearchFromIpAddress));
  ini.WriteString("Search", "ToIpAddress", Decimal64(s.SearchToIpAddress));
  ini.WriteString("Search", "BroadcastAddress", Decimal64(s.SearchBroadcastAddress));
  ini.WriteString("Search", "BroadcastHost", s.SearchBroadcastHost);
  ini.WriteInteger("Search", "Port", s.SearchPort);
  return ini.Text();
}

std::string SaveIniFile(const std::string& fileName, const TKestruneState& state, const TViewSettings& view,
                        IIniFileSystem& files) {
  return files.Write(fileName, IniText(state, view));
}

std::string LoadIniFile(const std::string& fileName, TKestruneState& state, TViewSettings& view,
                        const TIniPlatform& platform) {
  const TFileBytes file = platform.Files.Read(fileName);
  switch (file.State) {
    case TFileBytes::TState::Read:
      LoadIniBytes(file.Bytes, state, view, platform);
      return {};
    case TFileBytes::TState::Missing:
      view.Columns = kDefaultColumnWidths;
      PlaceFromFile(view, TWindowBounds{0, 0, 0, 0}, platform);
      return {};
    case TFileBytes::TState::Failed:
      break;
  }
  return file.Reason;
}

void LoadIniBytes(std::string_view bytes, TKestruneState& state, TViewSettings& view, const TIniPlatform& platform) {
  const TIniFile ini(IniFileText(bytes, platform.AnsiToUtf8));

  TWindowBounds read{0, 0, 0, 0};
  read.Left = ini.ReadInteger("Coordinates", "Left", 0);
  read.Top = ini.ReadInteger("Coordinates", "Top", 0);
  read.Height = ini.ReadInteger("Coordinates", "Height", 0);
  read.Width = ini.ReadInteger("Coordinates", "Width", 0);
  view.Promo = ini.ReadBool("Coordinates", "Promo", true);

  if (!ini.SectionNames().empty()) {
    const auto& local = platform.LocalAddresses;
    const int32_t defaultLocal = static_cast<int32_t>(local.empty() ? 0 : StrToIp(local.front()));
    for (size_t i = 0; i < ini.SectionCount(); ++i) {
      if (!IsDigits(ini.SectionName(i))) continue;
      // Read from this section alone: a name may repeat, and each section is one computer.
      const TIniFile one = ini.SectionAt(i);
      const char* sec = ini.SectionName(i).c_str();
      auto r = std::make_unique<THostRecord>();
      r->LocalIpAddress =
          RepairLocalAddress(static_cast<uint32_t>(one.ReadInteger(sec, "LocalIpAddress", defaultLocal)), local);
      r->AssignComputerName(one.ReadString(sec, "ComputerName", ""));
      r->MacAddress = ReadWide(one, sec, "MacAddress", 0);
      r->Password = ReadWide(one, sec, "Password", 0);
      r->BroadcastAddress = ReadWide(one, sec, "BroadcastAddress", 0);
      r->AssignBroadcastHost(one.ReadString(sec, "BroadcastHost", ""));
      r->Port = Low16(one.ReadInteger(sec, "Port", kDefaultPort));
      state.HostList.push_back(std::move(r));
    }
    for (size_t n = 0; n < view.Columns.size(); ++n)
      view.Columns[n] = ini.ReadInteger("Columns", std::to_string(n).c_str(), kDefaultColumnWidths[n]);
    view.Selection = ini.ReadInteger("Coordinates", "Selection", 1);
    TSharedSettings& s = state.Settings;
    s.HostBroadcastAddress = ReadWide(ini, "Host", "BroadcastAddress", s.HostBroadcastAddress);
    s.HostBroadcastHost = CutText(ini.ReadString("Host", "BroadcastHost", ""), kBroadcastHostMax);
    s.HostPort = Low16(ini.ReadInteger("Host", "Port", s.HostPort));
    // A search range of another network is not offered here.
    const uint64_t searchBroadcast = ReadWide(ini, "Search", "BroadcastAddress", s.SearchBroadcastAddress);
    if ((searchBroadcast & state.NetworkMask) == state.NetworkAddress) {
      s.SearchBroadcastAddress = searchBroadcast;
      s.SearchBroadcastHost = CutText(ini.ReadString("Search", "BroadcastHost", ""), kBroadcastHostMax);
      s.SearchFromIpAddress = ReadWide(ini, "Search", "FromIpAddress", s.SearchFromIpAddress);
      s.SearchToIpAddress = ReadWide(ini, "Search", "ToIpAddress", s.SearchToIpAddress);
      s.SearchPort = Low16(ini.ReadInteger("Search", "Port", s.SearchPort));
    }
  }
  PlaceFromFile(view, read, platform);
}

}  // namespace kst
