#include <windows.h>

#include "app/Main.h"
#include "system/Library.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a DLL by name.
    tidora::RestrictDllSearch();
    return tidora::RunProgram();
}
