#pragma once
// Starting programs through the shell and hearing back, on the UI thread, when
// they have ended (the bundle page refreshes after an uninstaller); the
// system's own text for an error code; handing documents and web addresses
// to the shell.
#include <windows.h>

#include <functional>
#include <string>

#include "system/Platform.h"

namespace tidora {

using TExecuteCallback = std::function<void()>;

// Starts FileName with Parameters and ShowCmd (SW_SHOW ...) and returns at
// once. When the process ends, Callback runs on the UI thread while a wait
// thread waits for it. When nothing could be started (or the shell handed the
// request to a program already running) Callback runs at once on this thread.
// No message is shown either way. UI thread only.
void Execute(const std::wstring& FileName, const std::wstring& Parameters, int ShowCmd,
             TExecuteCallback Callback = nullptr);

// The same for a whole command line, split with SplitCommandLine.
void Execute(const std::wstring& CommandLine, int ShowCmd, TExecuteCallback Callback = nullptr);

// The system's text for an error code (GetLastError), without the trailing
// line break; "System error N." when the system has none.
std::wstring SystemErrorMessage(DWORD Code);

// Hands Target (document, folder or address) to whatever the system
// associates with it (Platform.ShellOpen) and forgets it; failures are
// silent. The program runs elevated and the shell starts programs as readily
// as it opens pages, so an address that came from outside the program goes
// through ShellOpenUrl.
void ShellOpen(const std::wstring& Target, const TPlatform& Platform);

// Whether Address is an http or https address (scheme in any letter case,
// "//" and a host) made only of characters that cannot break out of the
// quotes a browser's command line puts around it: no blanks, control
// characters, double quotes or backslashes.
bool IsWebAddress(const std::wstring& Address);

// ShellOpen for addresses from outside the program: anything IsWebAddress
// refuses (local paths, other schemes) is dropped silently.
void ShellOpenUrl(const std::wstring& Address, const TPlatform& Platform);

} // namespace tidora
