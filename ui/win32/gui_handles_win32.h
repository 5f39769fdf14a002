// Owners of the GDI, menu and common-control handles the windows create.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "netcore/unique_resource.h"

namespace kst {

struct TGdiObjectTraits {
  using Type = HGDIOBJ;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { DeleteObject(h); }
};
using TUniqueGdiObject = TUniqueResource<TGdiObjectTraits>;

struct TIconTraits {
  using Type = HICON;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { DestroyIcon(h); }
};
using TUniqueIcon = TUniqueResource<TIconTraits>;

struct TImageListTraits {
  using Type = HIMAGELIST;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ImageList_Destroy(h); }
};
using TUniqueImageList = TUniqueResource<TImageListTraits>;

// A menu that no window owns (a window destroys its own menu bar).
struct TMenuTraits {
  using Type = HMENU;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { DestroyMenu(h); }
};
using TUniqueMenu = TUniqueResource<TMenuTraits>;

}  // namespace kst
