#pragma once
// Dots per inch: layouts are written in pixels at 96 dpi and scaled where they
// are applied. The per-monitor calls exist only on newer Windows (and Wine
// offers per-monitor v1 only), so each is looked up at run time and has a
// fallback that answers the system's dpi.
#include <windows.h>

namespace tidora {

// Asks for per-monitor v2 awareness, then v1, then system awareness; the first
// that the platform accepts wins. Runs once; later calls do nothing.
void RequestPerMonitorDpiAwareness();

// The dpi a window is shown at; the system dpi where the platform cannot say.
UINT WindowDpi(HWND Window);
UINT SystemDpi();

// A 96-dpi length at Dpi, rounded as the platform's multiply-divide rounds.
inline int ScaleForDpi(int Value, UINT Dpi) {
    return MulDiv(Value, static_cast<int>(Dpi), 96);
}

// The window rectangle for a client rectangle, with the frame metrics of Dpi.
RECT WindowRectForClient(const RECT& Client, DWORD Style, DWORD ExStyle, UINT Dpi);

// The icon-title font at Dpi (the desktop's font setting).
bool DesktopFontForDpi(LOGFONTW& Font, UINT Dpi);

} // namespace tidora
