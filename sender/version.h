#pragma once

namespace kst {

inline constexpr char kKestruneVersion[] = "2.0.11";
inline constexpr char kKestruneCaption[] = "Kestrune 2.0.11";

}  // namespace kst
