#include <gtest/gtest.h>

#include <map>

#include "netcore/address_text.h"
#include "sender/ini_file.h"
#include "sender/ini_store.h"

namespace kst {
namespace {

class TMemoryFiles : public IIniFileSystem {
 public:
  TFileBytes Read(const std::string& name) override {
    if (FFailures.count(name)) return {TFileBytes::TState::Failed, "", FFailures[name]};
    if (!FFiles.count(name)) return {};
    return {TFileBytes::TState::Read, FFiles[name], ""};
  }
  std::string Write(const std::string& name, const std::string& bytes) override {
    FFiles[name] = bytes;
    return {};
  }
  std::map<std::string, std::string> FFiles;
  std::map<std::string, std::string> FFailures;  // name: the reason it cannot be read
};

// A UTF-16 file with its byte order mark.
std::string Utf16(std::u16string_view text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : text) {
    const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  }
  return bytes;
}

// Latin-1 stands in for the ANSI code page.
std::string Latin1ToUtf8(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x80) out += static_cast<char>(c);
    else out += static_cast<char>(0xC0 | (c >> 6)), out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

class IniStore : public ::testing::Test {
 protected:
  void SetUp() override { FState.SetNetworkDefaults(StrToIp("10.77.0.2"), StrToIp("255.255.255.0")); }
  void Load(const std::string& bytes) {
    FFiles.FFiles["f.wol"] = bytes;
    LoadIniFile("f.wol", FState, FView, Platform());
  }
  TIniPlatform Platform() { return {FFiles, Latin1ToUtf8, {"10.77.0.2", "192.168.5.9"}, 1280, 1024}; }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& r : FState.HostList) names.push_back(r->ComputerName);
    return names;
  }
  TMemoryFiles FFiles;
  TKestruneState FState;
  TViewSettings FView;
};

TEST_F(IniStore, ExportWritesSectionsKeysAndValueForms) {
  auto r = std::make_unique<THostRecord>();
  r->LocalIpAddress = StrToIp("192.168.1.10");
  r->AssignComputerName("alpha");
  r->MacAddress = 0xAABBCCDDEEFF;
  r->Password = 0x010203040506;
  r->BroadcastAddress = 0xFFFFFFFF;
  r->Port = 9;
  FState.HostList.push_back(std::move(r));
  FState.Settings = {};
  FState.Settings.HostBroadcastHost = "gw.example";
  FView.Bounds = {10, 20, 640, 480};
  FView.Promo = false;
  FView.Selection = 0;
  EXPECT_EQ(IniText(FState, FView),
            "[0]\r\nLocalIpAddress=-1062731510\r\nComputerName=alpha\r\nMacAddress=187723572702975\r\n"
            "Password=1108152157446\r\nBroadcastAddress=4294967295\r\nBroadcastHost=\r\nPort=9\r\n\r\n"
            "[Coordinates]\r\nLeft=10\r\nTop=20\r\nHeight=480\r\nWidth=640\r\nPromo=0\r\nSelection=0\r\n\r\n"
            "[Columns]\r\n0=130\r\n1=121\r\n2=138\r\n3=83\r\n\r\n"
            "[Host]\r\nBroadcastAddress=0\r\nBroadcastHost=gw.example\r\nPort=7\r\n\r\n"
            "[Search]\r\nFromIpAddress=0\r\nToIpAddress=0\r\nBroadcastAddress=0\r\nBroadcastHost=\r\nPort=7\r\n\r\n");
}

TEST_F(IniStore, RoundTripKeepsEveryFieldAndRepairsForeignLocalAddress) {
  auto add = [&](const char* name, uint32_t local, uint64_t bcast, const char* host) {
    auto r = std::make_unique<THostRecord>();
    r->AssignComputerName(name);
    r->LocalIpAddress = local;
    r->MacAddress = 0x001122334455;
    r->Password = 0xA1B2C3D4E5F6;
    r->BroadcastAddress = bcast;
    r->AssignBroadcastHost(host);
    r->Port = 65535;
    FState.HostList.push_back(std::move(r));
  };
  add("Zoë", StrToIp("192.168.5.9"), 0x0A4D00FF, "");
  add("any", 0, 0, "router.example");
  add("moved", StrToIp("172.16.0.1"), 0x0A4D00FF, "");
  FView.Bounds = {5, 6, 700, 400};
  FView.Columns = {1, 2, 3, 4};
  FView.Selection = 3;
  FState.Settings.HostPort = 9;
  ASSERT_EQ(SaveIniFile("f.wol", FState, FView, FFiles), "");

  TKestruneState before;
  before.HostList.swap(FState.HostList);
  FView = {};
  LoadIniFile("f.wol", FState, FView, Platform());
  ASSERT_EQ(FState.HostList.size(), 3u);
  const THostRecord& a = *FState.HostList[0];
  EXPECT_EQ(a.ComputerName, "Zoë");
  EXPECT_EQ(a.LocalIpAddress, StrToIp("192.168.5.9"));
  EXPECT_EQ(a.MacAddress, 0x001122334455u);
  EXPECT_EQ(a.Password, 0xA1B2C3D4E5F6u);
  EXPECT_EQ(a.BroadcastAddress, 0x0A4D00FFu);
  EXPECT_EQ(a.Port, 65535);
  EXPECT_EQ(FState.HostList[1]->LocalIpAddress, 0u);
  EXPECT_EQ(FState.HostList[1]->BroadcastHost, "router.example");
  EXPECT_EQ(FState.HostList[2]->LocalIpAddress, StrToIp("10.77.0.2"));
  EXPECT_EQ(FView.Bounds.Left, 5);
  EXPECT_EQ(FView.Bounds.Width, 700);
  EXPECT_EQ(FView.Columns, (std::array<int, 4>{1, 2, 3, 4}));
  EXPECT_EQ(FView.Selection, 3);
  EXPECT_EQ(FState.Settings.HostPort, 9);
}

TEST_F(IniStore, OnlyDigitSectionsAreComputersInFileOrderAndEachImportAppends) {
  const std::string file =
      "; saved by hand\n[5]\n ComputerName = five \n[01a]\nComputerName=x\n[host]\ncomputername=h\n"
      "[007]\nCOMPUTERNAME=seven\n[2]\nComputerName=two";
  Load(file);
  Load(file);
  EXPECT_EQ(Names(), (std::vector<std::string>{"five", "seven", "two", "five", "seven", "two"}));
}

TEST_F(IniStore, BrokenValuesFallBackAndFloatsTruncate) {
  FState.Settings.HostPort = 9;
  Load("[0]\nLocalIpAddress=abc\nMacAddress=1.9e3\nPassword=-x\nBroadcastAddress=nan\nPort=65545\n"
       "[1]\nMacAddress=1e300\nPort=9999999999\n[Columns]\n0=wide\n1=50\n[Host]\nPort=\n");
  ASSERT_EQ(FState.HostList.size(), 2u);
  EXPECT_EQ(FState.HostList[0]->LocalIpAddress, StrToIp("10.77.0.2"));
  EXPECT_EQ(FState.HostList[0]->MacAddress, 1900u);
  EXPECT_EQ(FState.HostList[0]->Password, 0u);
  EXPECT_EQ(FState.HostList[0]->BroadcastAddress, 0u);
  EXPECT_EQ(FState.HostList[0]->Port, 9);  // low 16 bits of 65545
  EXPECT_EQ(FState.HostList[1]->MacAddress, 0u);
  EXPECT_EQ(FState.HostList[1]->Port, 7);
  EXPECT_EQ(FView.Columns, (std::array<int, 4>{130, 50, 138, 83}));
  EXPECT_EQ(FState.Settings.HostPort, 9);
}

TEST_F(IniStore, NegativeWideValuesAreExportedAsReadAndImportAgain) {
  Load("[0]\nMacAddress=-1\nBroadcastAddress=-1\n[Host]\nBroadcastAddress=-2\n");
  ASSERT_EQ(SaveIniFile("again.wol", FState, FView, FFiles), "");
  EXPECT_NE(FFiles.FFiles["again.wol"].find("\r\nMacAddress=-1\r\n"), std::string::npos);
  FState.HostList.clear();
  FState.Settings.HostBroadcastAddress = 0;
  LoadIniFile("again.wol", FState, FView, Platform());
  ASSERT_EQ(FState.HostList.size(), 1u);
  EXPECT_EQ(MacToStr(FState.HostList[0]->MacAddress), "FF-FF-FF-FF-FF-FF");
  EXPECT_EQ(IpToStr(FState.HostList[0]->BroadcastAddress), "255.255.255.255");
  EXPECT_EQ(FState.Settings.HostBroadcastAddress, 0xFFFFFFFFFFFFFFFEu);
}

TEST_F(IniStore, EmptyMissingOrWithoutCoordinatesResetsWindow) {
  for (const char* file : std::initializer_list<const char*>{"", "[Columns]\n0=10\n", nullptr}) {
    FView.Bounds = {1, 1, 1, 1};
    FView.Promo = false;
    FView.Columns = {1, 2, 3, 4};
    if (file) Load(file);
    else LoadIniFile("missing.wol", FState, FView, Platform());
    EXPECT_EQ(FView.Bounds.Left, 390);
    EXPECT_EQ(FView.Bounds.Top, 362);
    EXPECT_EQ(FView.Bounds.Width, 500);
    EXPECT_EQ(FView.Bounds.Height, 300);
    EXPECT_EQ(FView.Promo, file != nullptr);  // a missing file leaves the banner as it is
  }
  EXPECT_EQ(FView.Columns, kDefaultColumnWidths);
  EXPECT_TRUE(FState.HostList.empty());
}

TEST_F(IniStore, SearchRangeOfAnotherNetworkIsKept) {
  const uint64_t from = FState.Settings.SearchFromIpAddress;
  Load("[Host]\nBroadcastAddress=3232236031\n[Search]\nFromIpAddress=3232235777\nBroadcastAddress=3232236031\n");
  EXPECT_EQ(FState.Settings.HostBroadcastAddress, 3232236031u);
  EXPECT_EQ(FState.Settings.SearchFromIpAddress, from);
  EXPECT_EQ(FState.Settings.SearchBroadcastAddress, 0x0A4D00FFu);
  Load("[Search]\nFromIpAddress=172818442\nBroadcastAddress=172818687\n");
  EXPECT_EQ(FState.Settings.SearchFromIpAddress, 172818442u);
}

TEST_F(IniStore, NamesReadAsUtf8OrAnsiOrAsTheByteOrderMarkSays) {
  Load("[0]\nComputerName=B\xC3\xA9la\n");
  Load("[1]\nComputerName=B\xE9la\n");
  // Notepad's "Unicode" and "Unicode big endian" (a lone surrogate is no character), and a
  // UTF-8 mark before a byte that is no character.
  Load(Utf16(u"[2]\r\nComputerName=Zo\u00EB \U0001F600\r\n", false));
  Load(Utf16(u"[3]\nComputerName=\u00E9\xD83D\n", true));
  Load("\xEF\xBB\xBF[4]\r\nComputerName=\xE9\xC3\xA9\r\n");
  EXPECT_EQ(Names(), (std::vector<std::string>{"B\xC3\xA9la", "B\xC3\xA9la", "Zo\xC3\xAB \xF0\x9F\x98\x80",
                                               "\xC3\xA9\xEF\xBF\xBD", "\xEF\xBF\xBD\xC3\xA9"}));
}

TEST_F(IniStore, HandEditedFilesReadAsWindowsReadsThem) {
  Load("[1] ; lab\r\nComputerName=\"Lab PC\"\r\nMacAddress='187723572702975'\r\n"
       "[2]\rComputerName = \t two\t \x1A\rPort\rPort=9\rMacAddress=\"1\"2\"\r"
       "[ 3 ]\nComputerName=\"\nBroadcastHost=\"\"\nPassword = 5 ; five\n"
       "[ 4\nComputerName=no closing bracket\n[5] ; rack [b]\nComputerName=five\n"
       "[Coordinates]\nWidth=\"640\"\nHeight=480\nLeft=1\nTop=2\n");
  ASSERT_EQ(Names(), (std::vector<std::string>{"Lab PC", "two", "\"", "no closing bracket", "five"}));
  const THostRecord& lab = *FState.HostList[0];
  EXPECT_EQ(lab.MacAddress, 0xAABBCCDDEEFFu);
  const THostRecord& two = *FState.HostList[1];
  EXPECT_EQ(two.Port, kDefaultPort);  // "Port" without "=" comes first
  EXPECT_EQ(two.MacAddress, 0u);
  const THostRecord& three = *FState.HostList[2];
  EXPECT_EQ(three.BroadcastHost, "");
  EXPECT_EQ(three.Password, 0u);
  EXPECT_EQ(FView.Bounds.Width, 640);
}

TEST_F(IniStore, UnreadableFileChangesNothingAndGivesTheReason) {
  Load("[0]\nComputerName=kept\n[Coordinates]\nLeft=5\nTop=6\nWidth=700\nHeight=400\nPromo=0\n[Columns]\n0=1\n");
  FFiles.FFailures["locked.wol"] = "In use.";
  const uint64_t from = FState.Settings.SearchFromIpAddress;
  EXPECT_EQ(LoadIniFile("locked.wol", FState, FView, Platform()), "In use.");
  EXPECT_EQ(Names(), (std::vector<std::string>{"kept"}));
  EXPECT_EQ(FView.Bounds.Width, 700);
  EXPECT_EQ(FView.Columns[0], 1);
  EXPECT_FALSE(FView.Promo);
  EXPECT_EQ(FState.Settings.SearchFromIpAddress, from);
}

TEST_F(IniStore, ValuesThatWouldLoseTheirEndsAreWrittenInQuotes) {
  for (const char* name : {" Lab ", "\"Lab PC\"", "'x'", "\"", "a\"b"}) {
    auto r = std::make_unique<THostRecord>();
    r->AssignComputerName(name);
    FState.HostList.push_back(std::move(r));
  }
  ASSERT_EQ(SaveIniFile("f.wol", FState, FView, FFiles), "");
  const std::string& text = FFiles.FFiles["f.wol"];
  EXPECT_NE(text.find("\r\nComputerName=\" Lab \"\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nComputerName=\"\"Lab PC\"\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nComputerName=\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nComputerName=a\"b\r\n"), std::string::npos);
  FState.HostList.clear();
  LoadIniFile("f.wol", FState, FView, Platform());
  EXPECT_EQ(Names(), (std::vector<std::string>{" Lab ", "\"Lab PC\"", "'x'", "\"", "a\"b"}));
}

TEST(IniFile, DuplicatesFirstWinsAndWriteKeepsOneLine) {
  TIniFile ini("[A]\r\nk=1\r\nK=2\r\n[a]\r\nk=3\r\nnokey\r\n");
  EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"A", "a"}));
  EXPECT_EQ(ini.ReadString("a", "K", ""), "1");
  ini.WriteString("b", "name", "x\r\ny");
  EXPECT_EQ(ini.ReadString("B", "NAME", ""), "x  y");
}

}  // namespace
}  // namespace kst
