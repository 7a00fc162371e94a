// The message pump of the tests from ui up: it serves messages the way the
// program's own loop does, which only ui knows.
#include <windows.h>

#include "tests/TestSupport.h"
#include "ui/Application.h"

namespace tidora::test {

bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs) {
    const ULONGLONG end = GetTickCount64() + TimeoutMs;
    while (!Done()) {
        if (GetTickCount64() >= end) return false;
        ProcessMessages();
        Sleep(5);
    }
    return true;
}

void Pump(DWORD Ms) {
    PumpUntil([] { return false; }, Ms);
}

} // namespace tidora::test
