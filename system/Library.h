#pragma once
// Loading system DLLs. The program runs elevated and is usually started from a
// downloads folder: a DLL of a system name dropped beside it must never be
// loaded. Every DLL that is not a KnownDLL comes from the system folder only,
// through LoadSystemLibrary, whether the program loads it itself or the
// delay-load helper does at the first call into it.
#include <windows.h>

#include "system/Handles.h"

namespace tidora {

// A DLL of the system folder, never one planted beside the program or in the
// working folder; null when the system folder has none of that name.
UniqueModule LoadSystemLibrary(const wchar_t* Name);

// The first thing the program does: the process's default DLL search becomes
// the system folder alone (where Windows offers that), and the delay-load
// helper loads every delay-loaded DLL through LoadSystemLibrary.
void RestrictDllSearch();

} // namespace tidora
