#pragma once
// What our own controls tell screen readers (Microsoft Active Accessibility)
// and how they follow the system's high-contrast setting.
//
// A control that draws itself answers WM_GETOBJECT for its client area with
// an object that asks the control, at each call, for its name, role, state,
// description and default action; everything else (place, parent, focus,
// navigation) comes from the system's own object for the window. The object
// holds the window handle only: a screen reader may keep it after the
// control is gone, and it then answers that it is no longer connected. Calls
// arrive on the user-interface thread (a single-threaded apartment), through
// its message loop.
#include <windows.h>

#include <functional>
#include <string>

namespace tidora {

struct TAccessibleInfo {
    std::wstring Name;
    long Role = 0;   // ROLE_SYSTEM_*
    long State = 0;  // STATE_SYSTEM_*
    std::wstring Description;
    std::wstring DefaultAction;  // empty: none
};

// Fills Info for the control of Window; false when the window is gone or
// leaves its description to the system.
using TAccessibleQuery = bool (*)(HWND Window, TAccessibleInfo& Info);

// Posted to the control when a screen reader asks for its default action:
// it runs from the message loop, not inside the reader's call.
constexpr UINT WM_ACCESSIBLEACTION = WM_APP + 0x51;

// The answer to WM_GETOBJECT(OBJID_CLIENT) for Window; 0 when the object
// cannot be made (the caller then lets the system answer).
LRESULT AnswerGetObject(HWND Window, WPARAM Flags, TAccessibleQuery Query);

// Tells screen readers that the state of Window's client object changed
// (busy and idle, pressed, checked).
void NotifyStateChange(HWND Window);

// The states every control shares: unavailable, invisible, focusable, focused.
long WindowAccessibleState(HWND Window);

// The default actions' words, as the system's own controls name them.
extern const wchar_t* const kActionPress;
extern const wchar_t* const kActionCheck;
extern const wchar_t* const kActionUncheck;
extern const wchar_t* const kActionJump;

} // namespace tidora
