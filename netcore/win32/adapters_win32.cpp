#include "netcore/win32/adapters_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "netcore/growing_buffer.h"
#include "netcore/win32/os_error_win32.h"
#include "netcore/win32/text_win32.h"

namespace kst {
namespace {

// The platform's fixed text fields: up to the first NUL, never past the field.
template <size_t N>
std::string FieldText(const char (&field)[N], size_t max = N) {
  return std::string(field, strnlen(field, std::min(max, N)));
}

// Adapter names and descriptions come in the system's ANSI code page.
std::string AnsiFieldText(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), needed);
  return Narrow(wide);
}

TAddrStringRecord AddrString(const IP_ADDR_STRING& entry) {
  // At most 15 characters: a dotted address never needs the 16th byte, which holds the NUL.
  return {FieldText(entry.IpAddress.String, 15), FieldText(entry.IpMask.String, 15)};
}

std::vector<TAddrStringRecord> AddrStringChain(const IP_ADDR_STRING& first) {
  std::vector<TAddrStringRecord> list;
  for (const IP_ADDR_STRING* entry = &first; entry != nullptr; entry = entry->Next) list.push_back(AddrString(*entry));
  return list;
}

}  // namespace

std::vector<TAdapterRecord> AdapterRecordsFrom(const IP_ADAPTER_INFO* first) {
  std::vector<TAdapterRecord> records;
  for (const IP_ADAPTER_INFO* info = first; info != nullptr; info = info->Next) {
    TAdapterRecord r;
    r.AdapterName = AnsiFieldText(FieldText(info->AdapterName));
    r.Description = AnsiFieldText(FieldText(info->Description));
    r.AddressLength = info->AddressLength;
    std::copy_n(info->Address, std::min<size_t>(sizeof info->Address, r.Address.size()), r.Address.begin());
    r.Index = info->Index;
    r.Type = info->Type;
    r.DhcpEnabled = info->DhcpEnabled;
    if (info->CurrentIpAddress != nullptr) r.CurrentIpAddress = AddrString(*info->CurrentIpAddress);
    r.IpAddressList = AddrStringChain(info->IpAddressList);
    r.GatewayList = AddrStringChain(info->GatewayList);
    r.DhcpServer = AddrString(info->DhcpServer);
    r.HaveWins = info->HaveWins != FALSE;
    r.PrimaryWinsServer = AddrString(info->PrimaryWinsServer);
    r.SecondaryWinsServer = AddrString(info->SecondaryWinsServer);
    records.push_back(std::move(r));
  }
  return records;
}

std::vector<TAdapterRecord> ReadAdapterRecords(uint32_t initialBufferSize) {
  std::vector<uint8_t> buffer(std::max<size_t>(initialBufferSize, 1));
  const uint32_t status = FillGrowingBuffer(buffer, ERROR_BUFFER_OVERFLOW, [](uint8_t* data, uint32_t& size) {
    ULONG length = size;
    const DWORD result = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(data), &length);
    size = length;
    return static_cast<uint32_t>(result);
  });
  if (status != ERROR_SUCCESS) RaiseOsError(status);
  return AdapterRecordsFrom(reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data()));
}

TIPInfo::TIPInfo() : TIPInfo(ReadAdapterRecords()) {}

std::vector<TLocalAddressEntry> GetLocalAddressList() { return BuildLocalAddressList(TIPInfo()); }

}  // namespace kst
