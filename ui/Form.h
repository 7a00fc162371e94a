#pragma once
// A top-level window. Its client size is given in pixels at 96 dpi and scaled
// to the monitor it is on; when Windows moves it to a monitor of another dpi
// (WM_DPICHANGED) it takes the suggested rectangle, remakes its fonts and lays
// its children out again, also while it is still being built.
#include <functional>
#include <utility>
#include <vector>

#include "ui/Window.h"

namespace tidora {

enum class TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog };

struct TFormOptions {
    std::wstring ClassName = L"TidoraForm";
    TBorderStyle BorderStyle = TBorderStyle::bsSizeable;
    bool MinimizeBox = true;
    bool MaximizeBox = true;
    // Shown on the task bar (a main window); an owned form is not.
    bool AppWindow = true;
    HWND OwnerWindow = nullptr;
    // Above every window that is not itself on top.
    bool StayOnTop = false;
    // Client size at 96 dpi.
    int ClientWidth = 320;
    int ClientHeight = 240;
    // What the form and the windows on it call the system through.
    TPlatform Platform = RealPlatform();
};

class TForm : public TWindow {
public:
    explicit TForm(const TFormOptions& Options = TFormOptions());
    ~TForm() override;

    bool IsForm() const override { return true; }
    const TPlatform& Platform() const override { return FOptions.Platform; }
    bool IsOwnerRoot() const override { return true; }

    TBorderStyle BorderStyle() const { return FOptions.BorderStyle; }
    UINT CurrentDpi() const { return FDpi; }

    // The client size at 96 dpi; setting it resizes the window at its dpi.
    int ClientWidth() const { return FOptions.ClientWidth; }
    int ClientHeight() const { return FOptions.ClientHeight; }
    void SetClientSize(int Width, int Height);

    // The desktop's font setting instead of the form's own font.
    void UseDesktopFont();

    // The control that takes the focus when the form is next activated (at
    // once when it is active).
    void SetActiveControl(TWindow* Control);

    void CenterOnScreen();
    // Shows the window (activated) and paints it.
    void ShowForm();
    // Asks the window to close (as its close box does).
    void Close();

    // Shows the form modally over its owner (the owner window of its options,
    // else the main form), which is disabled meanwhile; returns the modal
    // result once it is set or the form is closed (the close box and Escape
    // give IDCANCEL). The form is hidden, not destroyed.
    int ShowModal();
    int ModalResult() const { return FModalResult; }
    void SetModalResult(int Result);

    // Runs when the window is being destroyed, before its children go.
    std::function<void()> OnDestroyed;

    // Watcher sees every message of the window before the form handles it,
    // until RemoveMessageWatcher(Key), or the window is gone (its last
    // message, WM_NCDESTROY, is the last it sees).
    using TMessageWatcher = std::function<void(UINT Msg, WPARAM WParam, LPARAM LParam)>;
    void AddMessageWatcher(const void* Key, TMessageWatcher Watcher);
    void RemoveMessageWatcher(const void* Key);

protected:
    void CreateParams(TCreateParams& Params) override;
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;
    bool PaintBuffered() const override { return false; }
    // WM_DPICHANGED: Dpi is the new dpi, Suggested the rectangle Windows offers.
    virtual void OnDpiChanged(UINT NewDpi, const RECT& Suggested);

private:
    TFormOptions FOptions;
    UINT FDpi = 96;
    HWND FLastFocus = nullptr;
    bool FModal = false;
    int FModalResult = 0;
    std::vector<std::pair<const void*, TMessageWatcher>> FWatchers;
};

} // namespace tidora
