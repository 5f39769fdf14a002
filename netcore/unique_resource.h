// One move-only owner for every kind of handle (window, key, socket, module, event, ...).
// Traits give the handle type, the "no handle" value and how to release it:
//
//   struct TKeyTraits {
//     using Type = HKEY;
//     static Type Invalid() noexcept { return nullptr; }
//     static void Close(Type h) noexcept { RegCloseKey(h); }
//   };
//   using TUniqueKey = TUniqueResource<TKeyTraits>;
#pragma once

#include <utility>

namespace kst {

template <class Traits>
class TUniqueResource {
 public:
  using Type = typename Traits::Type;

  TUniqueResource() noexcept : FHandle(Traits::Invalid()) {}
  explicit TUniqueResource(Type handle) noexcept : FHandle(handle) {}
  TUniqueResource(const TUniqueResource&) = delete;
  TUniqueResource& operator=(const TUniqueResource&) = delete;
  TUniqueResource(TUniqueResource&& other) noexcept : FHandle(other.release()) {}
  TUniqueResource& operator=(TUniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~TUniqueResource() { reset(); }

  Type get() const noexcept { return FHandle; }
  explicit operator bool() const noexcept { return FHandle != Traits::Invalid(); }

  // Releases the held handle (if any) and takes the new one.
  void reset(Type handle = Traits::Invalid()) noexcept {
    const Type old = std::exchange(FHandle, handle);
    if (old != Traits::Invalid()) Traits::Close(old);
  }
  // Gives up ownership without releasing.
  [[nodiscard]] Type release() noexcept { return std::exchange(FHandle, Traits::Invalid()); }
  // Releases the held handle and returns the address of the field, for out-parameters.
  Type* put() noexcept {
    reset();
    return &FHandle;
  }

 private:
  Type FHandle;
};

}  // namespace kst
