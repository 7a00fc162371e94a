#pragma once
// One owner type per Windows handle kind: non-copyable, movable, each with the
// invalid value its API uses, so no release path can be forgotten.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <utility>

namespace tidora {

template <typename T, typename Traits>
class UniqueResource {
public:
    UniqueResource() noexcept = default;
    explicit UniqueResource(T value) noexcept : FValue(value) {}
    ~UniqueResource() { reset(); }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : FValue(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    T get() const noexcept { return FValue; }
    explicit operator bool() const noexcept { return FValue != Traits::invalid(); }
    T release() noexcept { return std::exchange(FValue, Traits::invalid()); }
    void reset(T value = Traits::invalid()) noexcept {
        T old = std::exchange(FValue, value);
        if (old != Traits::invalid()) Traits::close(old);
    }
    // For out-parameters of the creating call.
    T* put() noexcept { reset(); return &FValue; }

private:
    T FValue = Traits::invalid();
};

struct HandleTraits {
    static HANDLE invalid() noexcept { return nullptr; }
    static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
// Files and toolhelp snapshots use INVALID_HANDLE_VALUE for "none".
struct FileHandleTraits {
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
// File searches close with FindClose, not CloseHandle.
struct FindHandleTraits {
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { ::FindClose(h); }
};
struct RegKeyTraits {
    static HKEY invalid() noexcept { return nullptr; }
    static void close(HKEY k) noexcept { ::RegCloseKey(k); }
};
struct IconTraits {
    static HICON invalid() noexcept { return nullptr; }
    static void close(HICON h) noexcept { ::DestroyIcon(h); }
};
struct GdiTraits {
    static HGDIOBJ invalid() noexcept { return nullptr; }
    static void close(HGDIOBJ h) noexcept { ::DeleteObject(h); }
};
// Memory device contexts (CreateCompatibleDC) go with DeleteDC.
struct MemoryDCTraits {
    static HDC invalid() noexcept { return nullptr; }
    static void close(HDC h) noexcept { ::DeleteDC(h); }
};
struct ModuleTraits {
    static HMODULE invalid() noexcept { return nullptr; }
    static void close(HMODULE h) noexcept { ::FreeLibrary(h); }
};

struct ServiceHandleTraits {
    static SC_HANDLE invalid() noexcept { return nullptr; }
    static void close(SC_HANDLE h) noexcept { ::CloseServiceHandle(h); }
};
struct BstrTraits {
    static BSTR invalid() noexcept { return nullptr; }
    static void close(BSTR s) noexcept { ::SysFreeString(s); }
};
// A COM interface pointer: taking ownership adds no reference, reset releases one.
template <typename Interface>
struct ComTraits {
    static Interface* invalid() noexcept { return nullptr; }
    static void close(Interface* p) noexcept { p->Release(); }
};

using UniqueHandle = UniqueResource<HANDLE, HandleTraits>;
using UniqueFileHandle = UniqueResource<HANDLE, FileHandleTraits>;
using UniqueFindHandle = UniqueResource<HANDLE, FindHandleTraits>;
using UniqueHKey = UniqueResource<HKEY, RegKeyTraits>;
using UniqueIcon = UniqueResource<HICON, IconTraits>;
using UniqueGdiObject = UniqueResource<HGDIOBJ, GdiTraits>;
using UniqueMemoryDC = UniqueResource<HDC, MemoryDCTraits>;
using UniqueModule = UniqueResource<HMODULE, ModuleTraits>;
using UniqueServiceHandle = UniqueResource<SC_HANDLE, ServiceHandleTraits>;
using UniqueBstr = UniqueResource<BSTR, BstrTraits>;
template <typename Interface>
using ComPtr = UniqueResource<Interface*, ComTraits<Interface>>;

// A window's device context (the screen's for null) from GetDC, given back to
// that window with ReleaseDC.
class UniqueWindowDC {
public:
    explicit UniqueWindowDC(HWND Window) noexcept : FWindow(Window), FDC(::GetDC(Window)) {}
    ~UniqueWindowDC() {
        if (FDC) ::ReleaseDC(FWindow, FDC);
    }
    UniqueWindowDC(const UniqueWindowDC&) = delete;
    UniqueWindowDC& operator=(const UniqueWindowDC&) = delete;
    HDC get() const noexcept { return FDC; }
    explicit operator bool() const noexcept { return FDC != nullptr; }

private:
    HWND FWindow;
    HDC FDC;
};

// An object selected into a device context for a scope: the object it
// replaced is selected back at the end. Declare it after the owner of the
// object, so the object is out of the DC before it is deleted.
class UniqueSelection {
public:
    UniqueSelection(HDC DC, HGDIOBJ Object) noexcept : FDC(DC), FOld(DC && Object ? ::SelectObject(DC, Object) : nullptr) {}
    ~UniqueSelection() { reset(); }
    UniqueSelection(const UniqueSelection&) = delete;
    UniqueSelection& operator=(const UniqueSelection&) = delete;
    // Selects the replaced object back now.
    void reset() noexcept {
        const HGDIOBJ old = std::exchange(FOld, nullptr);
        if (old && old != HGDI_ERROR) ::SelectObject(FDC, old);
    }

private:
    HDC FDC;
    HGDIOBJ FOld;
};

// COM initialised on this thread (CoInitializeEx). Every successful call,
// S_FALSE too, is balanced by CoUninitialize on the same thread; a call that
// failed (RPC_E_CHANGED_MODE: the thread has another model) owns nothing.
class UniqueComInit {
public:
    explicit UniqueComInit(DWORD Model) noexcept : FResult(::CoInitializeEx(nullptr, Model)) {}
    ~UniqueComInit() {
        if (release()) ::CoUninitialize();
    }
    UniqueComInit(const UniqueComInit&) = delete;
    UniqueComInit& operator=(const UniqueComInit&) = delete;
    HRESULT result() const noexcept { return FResult; }
    explicit operator bool() const noexcept { return SUCCEEDED(FResult); }
    // Hands the balancing call to the caller: true when it owes one.
    bool release() noexcept { return SUCCEEDED(std::exchange(FResult, E_FAIL)); }

private:
    HRESULT FResult;
};

} // namespace tidora
