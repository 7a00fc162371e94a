#pragma once
// Errors that escape a handler end up here: the user sees an error window with
// the error's text and a close button, and the program goes on where it can.
// Nothing is written or sent anywhere.
#include <exception>
#include <string>

namespace tidora {

// The text an error carries (what() of a standard exception as UTF-8).
std::wstring ExceptionText(std::exception_ptr Error);

// Shows the error window: "오류가 발생했습니다." in the user's language over
// Details, with a close button; returns when it is closed. While one is open
// a second error is not shown on top of it.
void ShowErrorWindow(const std::wstring& Details);

// For an error caught at a window procedure or a loop: shows it and returns.
void HandleException(std::exception_ptr Error);

// The last resort for errors no handler caught (std::terminate, a crash):
// the error window, then the process ends. Install once at start.
void InstallErrorHandler();

} // namespace tidora
