// Registry values of any type and content, as another program or a damaged store leaves them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "netcore/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const uint32_t kTypes[] = {kst::kRegNone, kst::kRegSz, kst::kRegExpandSz, kst::kRegBinary,
                                    kst::kRegDword, kst::kRegMultiSz, kst::kRegQword};
  const uint32_t type = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
  const std::span<const uint8_t> bytes(data + 1, size - 1);
  auto reg = kst::MakeMemoryRegistry();
  if (!reg->OpenKey("SOFTWARE\\Fuzz", true)) std::abort();
  if (!reg->WriteRaw("v", type, bytes)) return 0;
  kst::TRegistryX x(*reg);
  (void)x.ReadIntegerDef("v", 7);
  (void)x.ReadBoolDef("v", true);
  (void)x.ReadStringDef("v", "d");
  const uint64_t def = 0x1122334455667788ull;
  const uint64_t v = x.ReadInt64Def("v", def);
  if (type != kst::kRegBinary && v != def) std::abort();
  const std::string text = x.ReadBinaryText("v", "default");
  if (text.size() > kst::TRegistryX::kBinaryTextMax && text != "default" && type != kst::kRegSz) std::abort();
  (void)x.ReadAnyString("v", "default");
  return 0;
}
