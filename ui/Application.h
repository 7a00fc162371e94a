#pragma once
// What the program's windows share: the common controls, the application
// title that dialogs show, the main form whose end ends the message loop.
#include <windows.h>

#include <functional>
#include <string>

namespace tidora {

class TForm;

// Registers the common control classes (comctl32 v6) once, and makes the
// calling (user-interface) thread a single-threaded COM apartment.
void InitControls();

const std::wstring& ApplicationTitle();
void SetApplicationTitle(const std::wstring& Title);

// The window whose destruction ends RunMessageLoop.
TForm* MainForm();
void SetMainForm(TForm* Form);

// Runs until the main form is destroyed (or WM_QUIT); the exit code.
int RunMessageLoop();

// Runs messages until Done() is true (a modal window's loop); a WM_QUIT that
// arrives meanwhile ends it and is left for the outer loop.
void RunModalLoop(const std::function<bool()>& Done);

// Handles every message that is waiting, then returns (lets a window paint
// before long work on the user-interface thread).
void ProcessMessages();

} // namespace tidora
