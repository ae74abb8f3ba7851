// Owners of platform handles: each gives its handle back when it goes out of scope, and only then.
#include <gtest/gtest.h>
#include <unknwn.h>

#include <utility>

#include "framework/WinHandles.h"

namespace {

TEST(OwnedHandle, GivesItsHandleBackAtTheEndOfItsScope) {
  const struct {
    const char* kind;
    void* (*open)();
    void (*own)(void*);  // an owner takes the handle and goes out of scope
    bool (*alive)(void*);
  } cases[] = {
      {"kernel object", [] { return static_cast<void*>(CreateEventW(nullptr, TRUE, FALSE, nullptr)); },
       [](void* h) { TKernelHandle owner(static_cast<HANDLE>(h)); },
       [](void* h) {
         DWORD flags = 0;
         return GetHandleInformation(static_cast<HANDLE>(h), &flags) != 0;
       }},
      {"registry key",
       [] {
         HKEY key = nullptr;
         RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key);
         return static_cast<void*>(key);
       },
       [](void* h) { TRegKey owner(static_cast<HKEY>(h)); },
       [](void* h) {
         DWORD subKeys = 0;
         return RegQueryInfoKeyW(static_cast<HKEY>(h), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       }},
      {"GDI object", [] { return static_cast<void*>(CreateSolidBrush(RGB(1, 2, 3))); },
       [](void* h) { TGdiObject<HBRUSH> owner(static_cast<HBRUSH>(h)); },
       [](void* h) { return GetObjectType(h) != 0; }},
      {"memory context", [] { return static_cast<void*>(CreateCompatibleDC(nullptr)); },
       [](void* h) { TMemoryDC owner(static_cast<HDC>(h)); },
       [](void* h) { return GetObjectType(h) != 0; }},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.kind);
    void* handle = row.open();
    ASSERT_TRUE(row.alive(handle));
    row.own(handle);
    EXPECT_FALSE(row.alive(handle));
  }
}

TEST(OwnedHandle, ReleaseHandsTheHandleOnAndOutClosesWhatWasHeld) {
  HBRUSH first = CreateSolidBrush(RGB(4, 5, 6));
  HBRUSH second = nullptr;
  {
    TGdiObject<HBRUSH> owner(first);
    EXPECT_EQ(owner.Release(), first);
    EXPECT_NE(GetObjectType(first), 0u);  // handed on, not closed
    owner.Reset(first);
    *owner.Out() = second = CreateSolidBrush(RGB(7, 8, 9));
    EXPECT_EQ(GetObjectType(first), 0u);
  }
  EXPECT_EQ(GetObjectType(second), 0u);
}

TEST(SelectedObject, PutsThePreviousObjectBackAndLetsTheOwnerDeleteIt) {
  TMemoryDC dc(CreateCompatibleDC(nullptr));
  const HGDIOBJ before = GetCurrentObject(dc.Get(), OBJ_BRUSH);
  HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
  {
    TGdiObject<HBRUSH> owner(brush);
    TSelectedObject selected(dc.Get(), owner.Get());
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BRUSH), brush);
  }
  EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BRUSH), before);
  EXPECT_EQ(GetObjectType(brush), 0u);  // out of the context first, so the delete went through
}

// A stand-in interface that counts its references.
struct CountedUnknown : IUnknown {
  ULONG refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

TEST(ComPtr, ReleasesItsReferenceOnceOnEveryWayOut) {
  CountedUnknown a, b;
  {
    TComPtr<IUnknown> p(&a);
    EXPECT_EQ(p.Get(), &a);
    *p.Out() = &b;  // the reference held before is released first
    EXPECT_EQ(a.refs, 0u);
    EXPECT_EQ(b.refs, 1u);
  }
  EXPECT_EQ(b.refs, 0u);
  EXPECT_EQ(a.refs, 0u);
}

}  // namespace
