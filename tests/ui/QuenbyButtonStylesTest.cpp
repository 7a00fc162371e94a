#include <gtest/gtest.h>

#include "ui/QuenbyButtonStyles.h"

using namespace tidora;

namespace {

using B = TButtonDrawStyle;
using R = TBorderDrawStyle;
using S = TStyledButtonState;

constexpr COLORREF A = RGB(61, 132, 221);
constexpr COLORREF A10 = RGB(80, 144, 224);
constexpr COLORREF White = RGB(255, 255, 255);
constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF Silver = RGB(192, 192, 192);

struct Cell {
    S State;
    B Face;
    R Border;
    COLORREF FaceColor, BorderColor, FontColor;
};

// The five states of one appearance, in the order FillAttributes takes them.
std::vector<TStyledButtonAttributes> Fill(const std::wstring& Appearance, const std::wstring& Family = L"Quenby",
                                          const std::wstring& Class = L"Primary") {
    TQuenbyButtonStyles styles;
    std::vector<TStyledButtonAttributes> sets(5);
    // Start from values the family must overwrite.
    for (auto& set : sets) {
        set.BorderWidth = 7;
        set.FontStyle = fsBold | fsItalic;
        set.DrawType = TStyledButtonDrawType::btRect;
    }
    styles.FillAttributes(Family, Class, Appearance, sets[0], sets[1], sets[2], sets[3], sets[4]);
    return sets;
}

int Slot(S State) {
    switch (State) {
    case S::Normal: return 0;
    case S::Pressed: return 1;
    case S::Selected: return 2;
    case S::Hot: return 3;
    case S::Disabled: return 4;
    }
    return -1;
}

void ExpectTable(const std::vector<TStyledButtonAttributes>& Sets, const std::vector<Cell>& Table,
                 const std::wstring& Label) {
    ASSERT_EQ(Table.size(), 5u);
    for (const Cell& cell : Table) {
        const TStyledButtonAttributes& a = Sets[static_cast<size_t>(Slot(cell.State))];
        SCOPED_TRACE(testing::Message() << std::string(Label.begin(), Label.end()) << " state " << Slot(cell.State));
        EXPECT_EQ(a.ButtonDrawStyle, cell.Face);
        EXPECT_EQ(a.BorderDrawStyle, cell.Border);
        EXPECT_EQ(a.ButtonColor, cell.FaceColor);
        EXPECT_EQ(a.BorderColor, cell.BorderColor);
        EXPECT_EQ(a.FontColor, cell.FontColor);
        EXPECT_EQ(a.DrawType, TStyledButtonDrawType::btRoundRect);
        EXPECT_EQ(a.BorderWidth, 0);
        EXPECT_EQ(a.FontStyle, 0u);
    }
}

const std::vector<Cell> NormalTable = {
    {S::Normal, B::btnSolid, R::brdSolid, A, A, White},
    {S::Pressed, B::btnSolid, R::brdSolid, A, A, White},
    {S::Selected, B::btnSolid, R::brdSolid, A, A, White},
    {S::Hot, B::btnSolid, R::brdSolid, A10, A, White},
    {S::Disabled, B::btnSolid, R::brdSolid, White, Silver, Silver},
};
const std::vector<Cell> HeaderTable = {
    {S::Normal, B::btnClear, R::brdSolid, White, Black, Black},
    {S::Pressed, B::btnSolid, R::brdClear, A, A, White},
    {S::Hot, B::btnSolid, R::brdClear, A, A, White},
    {S::Selected, B::btnSolid, R::brdClear, A10, A, White},
    {S::Disabled, B::btnClear, R::brdSolid, White, RGB(188, 188, 188), RGB(128, 128, 128)},
};
const std::vector<Cell> OutlineTable = {
    {S::Normal, B::btnClear, R::brdSolid, A, A, Black},
    {S::Pressed, B::btnSolid, R::brdSolid, A, A, White},
    {S::Hot, B::btnSolid, R::brdSolid, A10, A, White},
    {S::Selected, B::btnSolid, R::brdSolid, A10, A, White},
    {S::Disabled, B::btnClear, R::brdSolid, A, RGB(215, 215, 215), RGB(179, 179, 179)},
};

TEST(QuenbyButtonStyles, EveryCellOfTheThreeAppearances) {
    struct Case {
        std::wstring Appearance;
        const std::vector<Cell>* Table;
    } cases[] = {
        {L"Normal", &NormalTable},   {L"Header", &HeaderTable},  {L"Outline", &OutlineTable},
        {L"outline", &OutlineTable}, {L"HEADER", &HeaderTable},  {L"oUtLiNe", &OutlineTable},
        {L"Primary", &NormalTable},  {L"Flat", &NormalTable},    {L"", &NormalTable},
        {L"Outline ", &NormalTable},  // no trimming: not a listed name
    };
    for (const Case& c : cases) ExpectTable(Fill(c.Appearance), *c.Table, c.Appearance);
}

TEST(QuenbyButtonStyles, FamilyAndClassNamesAreNotLookedAt) {
    ExpectTable(Fill(L"Outline", L"SomethingElse", L"NoSuchClass"), OutlineTable, L"other family");
    ExpectTable(Fill(L"Header", L"", L""), HeaderTable, L"empty names");
}

TEST(QuenbyButtonStyles, NamesAndResults) {
    TQuenbyButtonStyles styles;
    EXPECT_EQ(styles.FamilyName(), L"Quenby");
    EXPECT_EQ(styles.ClassList(), (TButtonClasses{L"Primary"}));
    EXPECT_EQ(styles.AppearanceList(), (TButtonAppearances{L"Normal", L"Header", L"Outline"}));
    for (int result : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO, IDCLOSE, IDHELP, 0, -1, 1000}) {
        std::wstring buttonClass = L"x", appearance = L"y";
        styles.StyleForResult(result, buttonClass, appearance);
        EXPECT_EQ(buttonClass, L"Primary") << result;
        EXPECT_EQ(appearance, L"Normal") << result;
    }
}

TEST(QuenbyButtonStyles, ColourRules) {
    struct Case {
        COLORREF Got, Expected;
    } cases[] = {
        {LighterColor(A, 10), RGB(80, 144, 224)},
        {LighterColor(A, 50), RGB(158, 194, 238)},  // 123 * 50 / 100 = 61.5 rounds up
        {LighterColor(A, 0), A},
        {LighterColor(A, 100), White},
        {LighterColor(Black, 50), RGB(128, 128, 128)},
        {GreyColor(LighterColor(A, 50)), RGB(188, 188, 188)},
        {GreyColor(LighterColor(A, 70)), RGB(215, 215, 215)},
        {GreyColor(LighterColor(Black, 50)), RGB(128, 128, 128)},
        {GreyColor(LighterColor(Black, 70)), RGB(179, 179, 179)},
        {GreyColor(RGB(0, 0, 0)), RGB(0, 0, 0)},
        {GreyColor(RGB(5, 0, 0) /* 1.495 */), RGB(1, 1, 1)},
        {GreyColor(RGB(0, 0, 22) /* 2.508 */), RGB(3, 3, 3)},
        {GreyColor(RGB(250, 0, 0) /* 74.75 */), RGB(75, 75, 75)},
        {GreyColor(RGB(0, 0, 125) /* 14.25 */), RGB(14, 14, 14)},
        {GreyColor(RGB(10, 0, 25) /* 2.99 + 2.85 = 5.84 */), RGB(6, 6, 6)},
        {GreyColor(RGB(0, 50, 125) /* 29.35 + 14.25 = 43.6 */), RGB(44, 44, 44)},
        {GreyColor(White), White},
    };
    for (const Case& c : cases) EXPECT_EQ(c.Got, c.Expected);
}

TEST(QuenbyButtonStyles, ExactHalvesOfGreyGoToTheEvenNeighbour) {
    struct Case {
        COLORREF Color;
        int Expected;
    } cases[] = {
        {RGB(0, 0, 250), 28},   // 28.5
        {RGB(0, 8, 86), 14},    // 14.5
        {RGB(0, 4, 168), 22},   // 21.5
        {RGB(0, 12, 4), 8},     // 7.5
        {RGB(0, 18, 131), 26},  // 25.5
    };
    for (const Case& c : cases) EXPECT_EQ(GreyColor(c.Color), RGB(c.Expected, c.Expected, c.Expected));
}

TEST(QuenbyButtonStyles, RegisteredAtStartAndFoundByName) {
    // The start-up steps have run (tests/TestMain.cpp).
    auto family = FindButtonStyleFamily(L"Quenby");
    ASSERT_NE(family, nullptr);
    EXPECT_EQ(FindButtonStyleFamily(L"quenby"), family);
    EXPECT_EQ(FindButtonStyleFamily(L"Nobody"), nullptr);

    const TStyledButtonStyle header = ResolveButtonStyle(L"Quenby", L"Primary", L"Header");
    EXPECT_EQ(header[S::Selected].ButtonColor, A10);
    EXPECT_EQ(header[S::Selected].FontColor, White);
    EXPECT_EQ(header[S::Normal].ButtonDrawStyle, B::btnClear);
    EXPECT_EQ(header[S::Normal].FontColor, Black);

    // An unknown family draws the framework's own grey button, not nothing.
    const TStyledButtonStyle plain = ResolveButtonStyle(L"Nobody", L"", L"Outline");
    EXPECT_EQ(plain[S::Normal].ButtonDrawStyle, B::btnSolid);
    EXPECT_NE(plain[S::Normal].ButtonColor, plain[S::Disabled].ButtonColor);
}

} // namespace
