#include <gtest/gtest.h>

#include "netcore/address_text.h"
#include "netcore/host_lookup.h"

namespace kst {
namespace {

TEST(StrToIp, ReadsDottedDecimal) {
  EXPECT_EQ(StrToIp("192.168.1.10"), 0xC0A8010Au);
  EXPECT_EQ(StrToIp("255.255.255.255"), 0xFFFFFFFFu);
  EXPECT_EQ(StrToIp("10.0.0.1"), 0x0A000001u);
}

TEST(StrToIp, BlanksAroundPartsAreIgnoredAndSeparate) {
  EXPECT_EQ(StrToIp(" 192 . 168 . 1 . 10 "), 0xC0A8010Au);
  EXPECT_EQ(StrToIp("192.168.1 10"), 0xC0A8010Au);  // a blank alone separates two parts
  EXPECT_EQ(StrToIp("192.168.1\t10"), 0xC0A8010Au);  // any code 1..32 counts as blank
  EXPECT_EQ(StrToIp("192 168 1 10"), 0xC0A8010Au);
}

TEST(StrToIp, WrongPartCountGivesZero) {
  EXPECT_EQ(StrToIp(""), 0u);
  EXPECT_EQ(StrToIp("192.168.1"), 0u);
  EXPECT_EQ(StrToIp("192.168.1.10."), 0u);  // a closing dot adds an empty fifth part
  EXPECT_EQ(StrToIp("1.2.3.4.5"), 0u);
  EXPECT_EQ(StrToIp("   "), 0u);
}

TEST(StrToIp, EmptyOrWrongPartGivesZero) {
  EXPECT_EQ(StrToIp("192..1.10"), 0u);
  EXPECT_EQ(StrToIp(".168.1.10"), 0u);
  EXPECT_EQ(StrToIp("192.168.1."), 0u);  // four parts, the last empty
  EXPECT_EQ(StrToIp("192.168.1.256"), 0u);
  EXPECT_EQ(StrToIp("192.168.-1.10"), 0u);
  EXPECT_EQ(StrToIp("a.b.c.d"), 0u);
  EXPECT_EQ(StrToIp("192.168.300.1"), 0u);  // no partial value from the good parts
  EXPECT_EQ(StrToIp("0.0.0.0"), 0u);
}

TEST(StrToIp, HexadecimalPrefixesAndQuotes) {
  EXPECT_EQ(StrToIp("0x10.0.0.1"), 0x10000001u);
  EXPECT_EQ(StrToIp("$C0.$A8.1.$0a"), 0xC0A8010Au);
  EXPECT_EQ(StrToIp("0xFF.0.0.0x100"), 0u);
  EXPECT_EQ(StrToIp("\"192\".168.1.10"), 0xC0A8010Au);
  EXPECT_EQ(StrToIp("\"1 9\".168.1.10"), 0u);  // the quoted part keeps its blank
  EXPECT_EQ(StrToIp("+192.168.1.10"), 0xC0A8010Au);
  EXPECT_EQ(StrToIp("010.1.1.1"), 0x0A010101u);  // leading zeros are decimal
}

TEST(StrToIp, NulEndsTheText) {
  EXPECT_EQ(StrToIp(std::string("1.2.3.4\0.5", 10)), 0x01020304u);
}

TEST(IpToStr, FormatsLowThirtyTwoBits) {
  EXPECT_EQ(IpToStr(0xC0A8010A), "192.168.1.10");
  EXPECT_EQ(IpToStr(0), "0.0.0.0");
  EXPECT_EQ(IpToStr(0xFFFFFFFF), "255.255.255.255");
  // 8-byte record fields: only the low 32 bits count.
  EXPECT_EQ(IpToStr(0x12345678C0A801FFull), "192.168.1.255");
  EXPECT_EQ(IpOctetToStr(1, 0xC0A8010A), "192");
  EXPECT_EQ(IpOctetToStr(4, 0xC0A8010A), "10");
  EXPECT_EQ(IpOctetToStr(0, 0xC0A8010A), "");
  EXPECT_EQ(IpOctetToStr(5, 0xC0A8010A), "");
}

TEST(IpToStr, RoundTripsThroughStrToIp) {
  for (uint32_t value : {0x01020304u, 0xC0A80001u, 0x0A4D00FFu, 0xFFFFFFFEu})
    EXPECT_EQ(StrToIp(IpToStr(value)), value);
}

TEST(CharacterTests, AddressTextAndDigits) {
  EXPECT_TRUE(IsAddressText("1.2.3.4.5"));
  EXPECT_TRUE(IsAddressText("..."));
  EXPECT_FALSE(IsAddressText(""));
  EXPECT_FALSE(IsAddressText("1.2.3.4 "));
  EXPECT_FALSE(IsAddressText("router"));
  EXPECT_TRUE(IsDigits("007"));
  EXPECT_FALSE(IsDigits(""));
  EXPECT_FALSE(IsDigits("01a"));
  EXPECT_FALSE(IsDigits("-1"));
}

TEST(StrToPort, Bounds) {
  EXPECT_EQ(StrToPort("7"), 7);
  EXPECT_EQ(StrToPort("1"), 1);
  EXPECT_EQ(StrToPort("65535"), 65535);
  EXPECT_EQ(StrToPort(" 9"), 9);  // a leading blank is skipped
  EXPECT_EQ(StrToPort("$FFFF"), 65535);
  EXPECT_EQ(StrToPort("0x9"), 9);
  EXPECT_EQ(StrToPort("0"), 0);
  EXPECT_EQ(StrToPort("65536"), 0);
  EXPECT_EQ(StrToPort("-7"), 0);
  EXPECT_EQ(StrToPort("7a"), 0);
  EXPECT_EQ(StrToPort("9 "), 0);  // anything after the number
  EXPECT_EQ(StrToPort(""), 0);
  EXPECT_EQ(StrToPort("99999999999"), 0);  // overflow is wrong text, not a wrapped value
  EXPECT_EQ(StrToPort("4294967303"), 0);   // 2^32 + 7
}

TEST(ReadInteger, SignedRangeAndHex) {
  EXPECT_EQ(ReadInteger("2147483647"), 2147483647);
  EXPECT_EQ(ReadInteger("-2147483648"), INT32_MIN);
  EXPECT_EQ(ReadInteger("2147483648"), std::nullopt);
  EXPECT_EQ(ReadInteger("$FFFFFFFF"), -1);
  EXPECT_EQ(ReadInteger("$100000000"), std::nullopt);
  EXPECT_EQ(ReadInteger("-"), std::nullopt);
  EXPECT_EQ(ReadInteger("0x"), std::nullopt);
  EXPECT_EQ(ReadInteger("12G"), std::nullopt);
}

TEST(StrToMac, AnyGroupingOfTwelveDigits) {
  EXPECT_EQ(StrToMac("00-11-22-aa-bb-cc"), 0x001122AABBCCull);
  EXPECT_EQ(StrToMac("00:11:22:AA:BB:CC"), 0x001122AABBCCull);
  EXPECT_EQ(StrToMac("0011 22AA BBCC"), 0x001122AABBCCull);
  EXPECT_EQ(StrToMac("0011.22aa.bbcc"), 0x001122AABBCCull);
  EXPECT_EQ(StrToMac("001122AABBCC"), 0x001122AABBCCull);
}

TEST(StrToMac, OtherDigitCountsGiveZero) {
  EXPECT_EQ(StrToMac(""), 0u);
  EXPECT_EQ(StrToMac("00-11-22-AA-BB-C"), 0u);     // 11 digits
  EXPECT_EQ(StrToMac("00-11-22-AA-BB-CC-D"), 0u);  // 13 digits
  EXPECT_EQ(StrToMac("00-00-00-00-00-00"), 0u);
  // Non-hex letters are dropped like separators: twelve digits remain.
  EXPECT_EQ(StrToMac("0G-11-22-AA-BB-CC-D"), 0x01122AABBCCDull);
}

TEST(MacToStr, TwoUpperCaseDigitsPerGroup) {
  EXPECT_EQ(MacToStr(0x0A0B0C0D0E0Full), "0A-0B-0C-0D-0E-0F");
  EXPECT_EQ(MacToStr(0x001122AABBCCull), "00-11-22-AA-BB-CC");
  EXPECT_EQ(MacToStr(0), "00-00-00-00-00-00");
  EXPECT_EQ(MacToStr(0xFFFF001122AABBCCull), "00-11-22-AA-BB-CC");  // upper 16 bits ignored
  EXPECT_EQ(StrToMac(MacToStr(0x123456789ABCull)), 0x123456789ABCull);
}

TEST(MacByte, PositionsOneToSix) {
  EXPECT_EQ(MacByte(1, 0x001122AABBCCull), 0x00);
  EXPECT_EQ(MacByte(2, 0x001122AABBCCull), 0x11);
  EXPECT_EQ(MacByte(6, 0x001122AABBCCull), 0xCC);
  EXPECT_EQ(MacByte(0, 0x001122AABBCCull), 0);
  EXPECT_EQ(MacByte(7, 0x001122AABBCCull), 0);
}

TEST(TextHelpers, CaseAndTrim) {
  EXPECT_EQ(LowerAscii("Office-PC \xC3\x84"), "office-pc \xC3\x84");
  EXPECT_EQ(UpperAscii("office-pc"), "OFFICE-PC");
  EXPECT_EQ(TrimBlanks("\t  a b \r\n"), "a b");
  EXPECT_EQ(TrimBlanks(std::string("\0x\0", 3)), "x");
  EXPECT_EQ(TrimBlanks("   "), "");
}

TEST(CutHostName, SixtyFourWholeCharactersNotBytes) {
  EXPECT_EQ(CutHostName(std::string(70, 'a')), std::string(64, 'a'));
  std::string umlauts;
  for (int i = 0; i < 70; ++i) umlauts += "\xC3\xBC";  // u with diaeresis, two bytes each
  EXPECT_EQ(CutHostName(umlauts), umlauts.substr(0, 128));
  // A two-byte character across byte 64 stays whole.
  EXPECT_EQ(CutHostName(std::string(63, 'b') + "\xC3\xA9xyz"), std::string(63, 'b') + "\xC3\xA9");
}

}  // namespace
}  // namespace kst
