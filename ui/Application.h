#pragma once
// What the program's windows share: the screen readers' apartment, the application
// title that dialogs show, the main form whose end ends the message loop.
#include <windows.h>

#include <functional>
#include <string>

namespace tidora {

class TForm;

// Makes the calling (user-interface) thread a single-threaded COM apartment,
// once.
void InitControls();

// Loads what the pages are built from and draw with (comctl32's classes,
// GDI+) ahead of their first open: the main window calls it once it has
// painted and nothing waits.
void LoadPageLibraries();

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
