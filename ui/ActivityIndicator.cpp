#include "ui/ActivityIndicator.h"

#include <objidl.h>
#include <gdiplus.h>
#include <oleacc.h>

#include <cmath>

#include "ui/Graphics.h"

namespace tidora {
namespace {

constexpr UINT_PTR FrameTimer = 1;
constexpr UINT FrameDelayMs = 80;

} // namespace

void TActivityIndicator::CreateParams(TCreateParams& Params) {
    Params.ClassName = L"TidoraIndicator";
    Params.Style &= ~WS_CLIPCHILDREN;
}

void TActivityIndicator::OnCreated() {
    if (FAnimate) SetTimer(Handle(), FrameTimer, FrameDelayMs, nullptr);
}

void TActivityIndicator::SetAnimate(bool Animate) {
    const bool changed = FAnimate != Animate;
    FAnimate = Animate;
    if (!Handle()) return;
    if (changed) NotifyStateChange(Handle());
    if (Animate) SetTimer(Handle(), FrameTimer, FrameDelayMs, nullptr);
    else KillTimer(Handle(), FrameTimer);
    Invalidate();
}

bool TActivityIndicator::AccessibleInfo(TAccessibleInfo& Info) const {
    if (!Handle()) return false;
    Info.Name = AccessibleName();
    Info.Role = ROLE_SYSTEM_PROGRESSBAR;
    Info.State = WindowAccessibleState(Handle()) | STATE_SYSTEM_READONLY | (FAnimate ? STATE_SYSTEM_BUSY : 0);
    return true;
}

void TActivityIndicator::SetIndicatorColor(COLORREF Color) {
    FIndicatorColor = Color;
    Invalidate();
}

void TActivityIndicator::OnTimer(UINT_PTR Id) {
    if (Id != FrameTimer) return;
    FFrame = (FFrame + 1) % FrameCount;
    Invalidate();
}

void TActivityIndicator::OnPaint(HDC DC, const RECT& Client) {
    FillSolidRect(DC, Client, Color());
    if (!FAnimate || !EnsureGdiplus()) return;
    const float w = static_cast<float>(Client.right - Client.left), h = static_cast<float>(Client.bottom - Client.top);
    const float size = w < h ? w : h;
    const float dot = size / 8.0f;
    const float radius = size / 2.0f - dot;
    const float cx = w / 2.0f, cy = h / 2.0f;
    const COLORREF color = HighContrastOn() ? GetSysColor(COLOR_HIGHLIGHT) : FIndicatorColor;
    Gdiplus::Graphics g(DC);
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    for (int i = 0; i < FrameCount; ++i) {
        // The dot of the current frame is solid; those behind it fade out.
        const int age = (FFrame - i + FrameCount) % FrameCount;
        const BYTE alpha = static_cast<BYTE>(255 - age * 200 / FrameCount);
        const double angle = 2.0 * 3.14159265358979 * i / FrameCount - 3.14159265358979 / 2.0;
        const float x = cx + radius * static_cast<float>(std::cos(angle));
        const float y = cy + radius * static_cast<float>(std::sin(angle));
        Gdiplus::SolidBrush brush(Gdiplus::Color(alpha, GetRValue(color), GetGValue(color), GetBValue(color)));
        g.FillEllipse(&brush, x - dot / 2, y - dot / 2, dot, dot);
    }
}

} // namespace tidora
