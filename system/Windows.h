#pragma once
// Starting programs through the shell and hearing back, on the UI thread, when
// they have ended (the bundle page refreshes after an uninstaller); the
// system's own text for an error code.
#include <windows.h>

#include <functional>
#include <string>

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

} // namespace tidora
