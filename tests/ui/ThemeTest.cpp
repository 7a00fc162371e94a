// The theme line: blue while the window is active, grey while it is not,
// across the whole client width, hidden without a border.
#include <gtest/gtest.h>

#include <stdexcept>

#include "ui/Application.h"
#include "ui/Form.h"
#include "ui/Panel.h"
#include "ui/Theme.h"

using namespace tidora;

namespace {

TFormOptions Options(TBorderStyle Border) {
    TFormOptions o;
    o.ClassName = L"TidoraThemeTest";
    o.BorderStyle = Border;
    o.ClientWidth = 300;
    o.ClientHeight = 200;
    return o;
}

TEST(ThemeHelper, LineColourFollowsActivation) {
    TForm form(Options(TBorderStyle::bsSingle));
    auto* header = TWindow::Create<TPanel>(&form, L"PnlHead", TBounds{0, 0, 300, 50}, TAlign::alTop);
    TThemeHelper* theme = TThemeHelper::Create(&form);
    ASSERT_NE(theme, nullptr);
    TShape* line = theme->Shape();
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(theme->IsActive());
    EXPECT_EQ(theme->ActiveColor(), RGB(61, 132, 221));
    EXPECT_EQ(line->BrushColor(), RGB(61, 132, 221));
    EXPECT_EQ(line->PenColor(), RGB(61, 132, 221));

    // Made after the header, it still lies above it: 2 pixels at the top.
    const RECT l = line->BoundsRect(), h = header->BoundsRect();
    EXPECT_EQ(l.top, 0);
    EXPECT_EQ(l.bottom, form.Scale(2));
    EXPECT_EQ(h.top, l.bottom);
    EXPECT_TRUE(IsWindowVisible(line->Handle()) || !IsWindowVisible(form.Handle()));
    EXPECT_TRUE(line->Visible());

    struct Step {
        WPARAM Activation;
        bool Active;
    } steps[] = {{WA_INACTIVE, false}, {WA_ACTIVE, true}, {WA_INACTIVE, false}, {WA_CLICKACTIVE, true},
                 {MAKEWPARAM(WA_INACTIVE, 1), false}};
    for (const Step& step : steps) {
        SendMessageW(form.Handle(), WM_ACTIVATE, step.Activation, 0);
        EXPECT_EQ(theme->IsActive(), step.Active);
        const COLORREF expected = step.Active ? RGB(61, 132, 221) : GetSysColor(COLOR_GRAYTEXT);
        EXPECT_EQ(line->BrushColor(), expected);
        EXPECT_EQ(line->PenColor(), expected);
    }
}

TEST(ThemeHelper, LineFollowsTheWidth) {
    TForm form(Options(TBorderStyle::bsSizeable));
    TThemeHelper* theme = TThemeHelper::Create(&form);
    for (int width : {300, 520, 180}) {
        form.SetClientSize(width, 200);  // resizes the window: WM_SIZE
        const RECT client = form.ClientRect();
        const RECT line = theme->Shape()->BoundsRect();
        EXPECT_EQ(line.left, 0);
        EXPECT_EQ(line.right, client.right) << width;
    }
}

TEST(ThemeHelper, NoLineWithoutBorder) {
    TForm form(Options(TBorderStyle::bsNone));
    TThemeHelper* theme = TThemeHelper::Create(&form);
    EXPECT_FALSE(theme->Shape()->Visible());
    SendMessageW(form.Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_FALSE(theme->Shape()->Visible());
    EXPECT_FALSE(IsWindowVisible(theme->Shape()->Handle()));
}

TEST(ThemeHelper, OwnerMustBeAForm) {
    TForm form(Options(TBorderStyle::bsSingle));
    auto* panel = TWindow::Create<TPanel>(&form, L"Panel", TBounds{0, 0, 10, 10});
    const size_t owned = form.OwnedCount();
    for (TComponent* owner : {static_cast<TComponent*>(panel), static_cast<TComponent*>(nullptr)}) {
        try {
            TThemeHelper::Create(owner);
            ADD_FAILURE() << "no error";
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), "TThemeHelper Owner must be a TForm");
        }
    }
    // Nothing was created.
    EXPECT_EQ(form.OwnedCount(), owned);
}

TEST(ThemeHelper, HookGoesWithTheHelperAndTheWindow) {
    // Destroying the window first, then the helper with the form object:
    // the hook is gone before the window is, and nothing is left to crash.
    {
        auto form = std::make_unique<TForm>(Options(TBorderStyle::bsSingle));
        TThemeHelper::Create(form.get());
        DestroyWindow(form->Handle());
        EXPECT_EQ(form->Handle(), nullptr);
    }
    // And the usual order: the form object goes, the helper with it.
    auto form = std::make_unique<TForm>(Options(TBorderStyle::bsSingle));
    TThemeHelper::Create(form.get());
    HWND window = form->Handle();
    form.reset();
    EXPECT_FALSE(IsWindow(window));
}

} // namespace
