// Owners of platform handles taken inside one function: each gives its handle back on every way out,
// an early return or an exception alike. Header-only; calls the platform (kernel32, advapi32, gdi32, user32).
#pragma once
#include <windows.h>

#include <utility>

// One owned handle; Traits says which values are empty and how the handle is given back.
template <class Traits>
class TOwnedHandle {
 public:
  using Handle = typename Traits::Handle;

  TOwnedHandle() = default;
  explicit TOwnedHandle(Handle handle) : handle_(handle) {}
  TOwnedHandle(TOwnedHandle&& other) noexcept : handle_(other.Release()) {}
  TOwnedHandle& operator=(TOwnedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  TOwnedHandle(const TOwnedHandle&) = delete;
  TOwnedHandle& operator=(const TOwnedHandle&) = delete;
  ~TOwnedHandle() { Reset(); }

  bool Valid() const { return Traits::Valid(handle_); }
  explicit operator bool() const { return Valid(); }
  Handle Get() const { return handle_; }
  // For functions that return the handle through a pointer; whatever was held is given back first.
  Handle* Out() {
    Reset();
    return &handle_;
  }
  // Hands the handle over to the caller, who closes it.
  Handle Release() { return std::exchange(handle_, Handle{}); }
  void Reset(Handle handle = Handle{}) {
    if (Traits::Valid(handle_)) Traits::Close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_{};
};

namespace winhandles {

// CreateFileW answers INVALID_HANDLE_VALUE on failure, most other kernel calls null.
struct KernelHandle {
  using Handle = HANDLE;
  static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct FindHandle {
  using Handle = HANDLE;
  static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};
struct RegistryKey {
  using Handle = HKEY;
  static bool Valid(HKEY h) { return h != nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
template <class H>
struct GdiObject {
  using Handle = H;
  static bool Valid(H h) { return h != nullptr; }
  static void Close(H h) { DeleteObject(h); }
};
struct MemoryContext {
  using Handle = HDC;
  static bool Valid(HDC h) { return h != nullptr; }
  static void Close(HDC h) { DeleteDC(h); }
};

}  // namespace winhandles

// A kernel object: a file from CreateFileW, a process or thread, an event.
using TKernelHandle = TOwnedHandle<winhandles::KernelHandle>;
// A search from FindFirstFileW.
using TFindHandle = TOwnedHandle<winhandles::FindHandle>;
// A key from RegOpenKeyEx / RegCreateKeyEx.
using TRegKey = TOwnedHandle<winhandles::RegistryKey>;
// A pen, brush, font, bitmap, region or palette made by the caller (never a stock object).
template <class H>
using TGdiObject = TOwnedHandle<winhandles::GdiObject<H>>;
// A context from CreateCompatibleDC or CreateDCW.
using TMemoryDC = TOwnedHandle<winhandles::MemoryContext>;

// A window's (or, for null, the screen's) device context from GetDC, given back with ReleaseDC.
class TWindowDC {
 public:
  explicit TWindowDC(HWND window = nullptr) : window_(window), dc_(GetDC(window)) {}
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  ~TWindowDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  HDC Get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a context and puts the previous one back on the way out. Declare it after the
// owner of the object, so the object is out of the context before it is deleted.
class TSelectedObject {
 public:
  TSelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  TSelectedObject(const TSelectedObject&) = delete;
  TSelectedObject& operator=(const TSelectedObject&) = delete;
  ~TSelectedObject() {
    if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// One reference to a COM interface, released on the way out.
template <class T>
class TComPtr {
 public:
  TComPtr() = default;
  explicit TComPtr(T* pointer) : p_(pointer) {}
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  ~TComPtr() { Reset(); }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For CoCreateInstance and QueryInterface; whatever was held is released first.
  T** Out() {
    Reset();
    return &p_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  void Reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }

 private:
  T* p_ = nullptr;
};
