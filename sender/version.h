#pragma once

namespace kst {

inline constexpr char kKestruneCaption[] = "Kestrune 2.0.11";

}  // namespace kst
