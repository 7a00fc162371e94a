#pragma once
// Small helpers the tests share.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "system/Handles.h"

namespace tidora::test {

// A window's text (its first 511 characters).
std::wstring WindowText(HWND Window);

// What Window paints of its client area, asked with WM_PRINTCLIENT (Flags)
// into a bitmap of its client size; the bitmap lives as long as this.
class TPrintedClient {
public:
    explicit TPrintedClient(HWND Window, UINT Flags = PRF_CLIENT);
    HDC DC() const { return FMemory.get(); }
    const RECT& Client() const { return FClient; }

private:
    RECT FClient{};
    UniqueMemoryDC FMemory;
    UniqueGdiObject FBitmap;
    // Declared after both: the bitmap leaves the DC before either goes.
    std::optional<UniqueSelection> FSelection;
};

// A name no other test or earlier run uses: Prefix, the process id and a counter.
std::wstring UniqueName(const std::wstring& Prefix);

// The temp folder without trailing backslash.
std::wstring TempFolder();

// A file of the source or build tree as Wine sees it (through drive Z:).
std::wstring SourcePath(const std::wstring& Relative);
std::wstring BinaryPath(const std::wstring& Relative);

// The whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& Path);
bool WriteFileBytes(const std::wstring& Path, const std::string& Bytes);

// What the screen shows of Window, frame included, as a 24-bit BMP file;
// false when it cannot be had. The window must be shown; it is lifted above
// other windows for the picture.
bool SaveWindowShot(HWND Window, const std::wstring& Path);
// <build>\screenshots\Name.bmp, the folder made when missing.
std::wstring ScreenshotPath(const std::wstring& Name);
// A picture of the whole screen.
bool SaveScreenShot(const std::wstring& Path);

// Moves the (not yet shown) top-level Window where the mouse pointer is not,
// so that no control of it is drawn hot. Xvfb's pointer rests at the screen's
// centre, where forms are centred, and Wine cannot always warp it away: the
// warped position holds only until the next query of the X server, which a
// slow (emulated) test reaches.
void KeepOffThePointer(HWND Window);

// Runs this test program again with only the tests that Filter selects, while
// the prefix's HKCU\Control Panel\Desktop\LogPixels says Dpi (Wine reads it
// once, when a process starts). The old value is back as soon as the child
// calls DpiChildStarted (or has ended). Returns the child's exit code; -1
// when it could not be started, -2 when it did not end within TimeoutMs.
int RunTestsAtDpi(const std::wstring& Filter, DWORD Dpi, DWORD TimeoutMs = 60000);
// In such a child: the dpi it was started for, 0 in a normal run.
DWORD ChildDpi();
// In such a child: tells the parent that the dpi has been read.
void DpiChildStarted();

// Serves window messages and hand-overs on this (the UI) thread for Ms
// milliseconds, or until Done() is true (false when the time ran out first).
// Tests from ui up only (tests/TestPump.cpp).
void Pump(DWORD Ms);
bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs = 15000);

// A new empty folder under the temp folder, removed with everything in it at
// the end of the scope.
class TTempDir {
public:
    TTempDir();
    // The same under Parent, named from Prefix.
    TTempDir(const std::wstring& Parent, const std::wstring& Prefix);
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::wstring& Path() const { return FPath; }
    std::wstring File(const std::wstring& Name) const { return FPath + L"\\" + Name; }

private:
    std::wstring FPath;
};

// Points HKEY_CURRENT_USER of this process (all its threads) at a new empty
// key for the life of the object, so that per-user settings a test writes
// never reach the prefix's real user hive or another test running meanwhile.
class TUserHive {
public:
    TUserHive();
    ~TUserHive();
    TUserHive(const TUserHive&) = delete;
    TUserHive& operator=(const TUserHive&) = delete;

private:
    std::wstring FName;
    HKEY FKey = nullptr;
};

} // namespace tidora::test
