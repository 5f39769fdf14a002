// Text forms of IPv4 addresses, MAC addresses, SecureOn passwords and UDP ports.
//
// Address value: IPv4 address with the first number of the dotted text in the most significant
// byte (192.168.1.10 is 0xC0A8010A). MAC value: 48 bits in the low bits, first group of
// "AA-BB-CC-DD-EE-FF" in bits 40..47. 0 is "none" and the result of every wrong text.
// No function here throws or shows anything.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kst {

// Reads a 32-bit signed integer the way the program has always read numbers typed by users:
// leading blanks, an optional sign, decimal digits, or hexadecimal after "$" or "0x"/"x".
// Anything else (trailing characters, no digits, overflow) gives nullopt.
std::optional<int32_t> ReadInteger(std::string_view text);

uint32_t StrToIp(std::string_view text);
// Only the low 32 bits of the value are used, so 8-byte record fields can be passed as they are.
std::string IpToStr(uint64_t address);
std::string IpOctetToStr(int n, uint64_t address);

bool IsAddressText(std::string_view text);
bool IsDigits(std::string_view text);

uint16_t StrToPort(std::string_view text);

uint64_t StrToMac(std::string_view text);
std::string MacToStr(uint64_t mac);
uint8_t MacByte(int n, uint64_t mac);

// Lower case of the letters A to Z only; every other byte stays as it is.
std::string LowerAscii(std::string_view text);
std::string UpperAscii(std::string_view text);
// Removes leading and trailing blanks and control characters (codes 0 to 32).
std::string TrimBlanks(std::string_view text);

}  // namespace kst
