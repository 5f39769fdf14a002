#include "tests/e2e/picture.h"

#include <wincodec.h>

#include <ostream>

#include "netcore/win32/text_win32.h"
#include "tests/e2e/e2e_support.h"
#include "tests/win32/sandbox_env.h"

namespace kst::e2e {
namespace {

// Releases a COM interface at the end of its scope.
template <class T>
struct TComPtr {
  T* P = nullptr;
  TComPtr() = default;
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  ~TComPtr() {
    if (P) P->Release();
  }
  T** operator&() noexcept { return &P; }
  T* operator->() const noexcept { return P; }
};

// Every shown window paints what it has to paint, and its thread goes back to waiting for
// messages, which is when Wine hands a window's drawing to the X server: a screenshot then shows
// what the windows drew, however busy the machine. Two messages sent one after the other are
// handled on either side of that wait.
void PaintShownWindows() {
  std::vector<HWND> shown;
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&shown));
  for (HWND window : shown) {
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    DWORD_PTR result = 0;
    for (int i = 0; i < 2; ++i) SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result);
  }
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const TRgb& rgb) {
  return out << "rgb(" << int(rgb.R) << ", " << int(rgb.G) << ", " << int(rgb.B) << ")";
}

TRgb ToRgb(COLORREF colour) { return {GetRValue(colour), GetGValue(colour), GetBValue(colour)}; }

std::optional<TPicture> TPicture::Load(const std::string& unixPath) {
  if (unixPath.empty()) return std::nullopt;
  const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  TPicture picture;
  bool read = false;
  {
    TComPtr<IWICImagingFactory> factory;
    TComPtr<IWICBitmapDecoder> decoder;
    TComPtr<IWICBitmapFrameDecode> frame;
    TComPtr<IWICBitmapSource> bgra;
    const std::wstring path = Widen(test::WinePath(unixPath));
    UINT width = 0, height = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                   reinterpret_cast<void**>(&factory))) &&
        SUCCEEDED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                     WICDecodeMetadataCacheOnDemand, &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) &&
        SUCCEEDED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.P, &bgra)) &&
        SUCCEEDED(bgra->GetSize(&width, &height)) && width > 0 && height > 0) {
      picture.FWidth = static_cast<int>(width);
      picture.FHeight = static_cast<int>(height);
      picture.FBgra.resize(size_t{width} * height * 4);
      read = SUCCEEDED(bgra->CopyPixels(nullptr, width * 4, static_cast<UINT>(picture.FBgra.size()),
                                        picture.FBgra.data()));
    }
  }
  if (SUCCEEDED(init)) CoUninitialize();
  if (!read) return std::nullopt;
  return picture;
}

std::optional<TPicture> ScreenPicture(const std::string& name, std::chrono::milliseconds settle) {
  Sleep(static_cast<DWORD>(settle.count()));
  PaintShownWindows();
  return TPicture::Load(TakeScreenshot(name));
}

TRgb InsideCorner(const TPicture& picture, HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  POINT at{client.right - 4, client.bottom - 4};
  ClientToScreen(window, &at);
  return picture.Pixel(at);
}

int DarkPixels(const TPicture& picture, HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  int dark = 0;
  for (int y = 0; y < client.bottom; ++y)
    for (int x = 0; x < client.right; ++x) {
      const TRgb p = picture.Pixel(origin.x + x, origin.y + y);
      dark += p.R < 100 && p.G < 100 && p.B < 100;
    }
  return dark;
}

POINT TableRowPoint(HWND table, int row) {
  POINT at{110, row * kTableRowPitch + kTableRowPitch / 2};
  ClientToScreen(table, &at);
  return at;
}

TRgb TPicture::Pixel(int x, int y) const noexcept {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return {};
  const size_t at = (static_cast<size_t>(y) * FWidth + x) * 4;
  return {FBgra[at + 2], FBgra[at + 1], FBgra[at]};
}

}  // namespace kst::e2e
