// The pixels of a screenshot, read back from its file, so that a test can check what the user
// saw. Screenshots are of the whole screen: a pixel's place is its screen position.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace kst::e2e {

struct TRgb {
  uint8_t R = 0, G = 0, B = 0;
  bool operator==(const TRgb&) const = default;
};
// Printed by GoogleTest when a comparison fails.
std::ostream& operator<<(std::ostream& out, const TRgb& rgb);
TRgb ToRgb(COLORREF colour);

class TPicture {
 public:
  // Decodes the picture at the Unix path (PNG); nothing when it cannot be read.
  static std::optional<TPicture> Load(const std::string& unixPath);
  int Width() const noexcept { return FWidth; }
  int Height() const noexcept { return FHeight; }
  // Black outside the picture.
  TRgb Pixel(int x, int y) const noexcept;
  TRgb Pixel(POINT screen) const noexcept { return Pixel(screen.x, screen.y); }

 private:
  int FWidth = 0, FHeight = 0;
  std::vector<uint8_t> FBgra;
};

// Waits settle, lets every shown window finish painting, then takes the screenshot NAME
// (TakeScreenshot) and reads it; nothing when no picture came.
std::optional<TPicture> ScreenPicture(const std::string& name,
                                      std::chrono::milliseconds settle = std::chrono::milliseconds(300));

// The pixel a few pixels inside the lower right corner of a window's client area, where a
// control or dialog shows only its background.
TRgb InsideCorner(const TPicture& picture, HWND window);
// Pixels of text (all three channels below 100) in the window's client area: something was
// written there.
int DarkPixels(const TPicture& picture, HWND window);

// Kestrune's table: a screen point of row r (0 = the title row, 1 = the first computer) in the
// right part of the first column, where only the row's background shows. Rows, the title row
// included, are 16 pixels and a grid line high at 96 dots per inch.
POINT TableRowPoint(HWND table, int row);
inline constexpr int kTableRowPitch = 17;

}  // namespace kst::e2e
