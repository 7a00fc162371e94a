#include <windows.h>

#include "app/Startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    tidora::InitializeUnits();
    return 0;
}
