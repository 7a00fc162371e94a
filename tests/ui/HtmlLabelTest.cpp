// The tip line's markup: bold, centred and coloured runs.
#include <gtest/gtest.h>

#include "tests/TestSupport.h"
#include "ui/Application.h"
#include "ui/Form.h"
#include "ui/HtmlLabel.h"

namespace tidora {
// For failure messages.
std::ostream& operator<<(std::ostream& os, const THtmlRun& r) {
    return os << "{" << std::string(r.Text.begin(), r.Text.end()) << (r.Bold ? " B" : "") << (r.Centered ? " C" : "")
              << " " << r.Color << (r.LineBreak ? " BR" : "") << "}";
}
} // namespace tidora

using namespace tidora;

namespace {

constexpr COLORREF Gray = RGB(128, 128, 128);

THtmlRun Text(const std::wstring& Text, bool Bold = false, bool Centered = false, COLORREF Color = clDefault) {
    return THtmlRun{Text, Bold, Centered, Color, false};
}
THtmlRun Break() {
    return THtmlRun{L"", false, false, clDefault, true};
}


TEST(HtmlLabel, ParsesTagsIntoRuns) {
    struct Case {
        std::wstring Text;
        std::vector<THtmlRun> Runs;
    } cases[] = {
        {L"plain", {Text(L"plain")}},
        {L"", {}},
        {L"<C><FC:clGray>Keeps only <B>closes</B> others.</FC></C>",
         {Text(L"Keeps only ", false, true, Gray), Text(L"closes", true, true, Gray), Text(L" others.", false, true, Gray)}},
        // Tags are read without regard to case.
        {L"<b>a</B><c>b</C><fc:CLGRAY>c</fc>", {Text(L"a", true), Text(L"b", false, true), Text(L"c", false, false, Gray)}},
        // Colours nest; the closing tag goes back to the one before.
        {L"<FC:clRed>r<FC:clGray>g</FC>r</FC>d",
         {Text(L"r", false, false, RGB(255, 0, 0)), Text(L"g", false, false, Gray), Text(L"r", false, false, RGB(255, 0, 0)),
          Text(L"d")}},
        // Unknown tags, stray closers and a lone "<" are text or nothing.
        {L"<I>x</I> a<b", {Text(L"<I>x</I> a<b")}},
        {L"</B></FC>x", {Text(L"x")}},
        {L"<B><B>x</B>y</B>z", {Text(L"xy", true), Text(L"z")}},
        // An unknown colour name keeps the label's own colour.
        {L"<FC:clNoSuch>x</FC>", {Text(L"x")}},
        // Line breaks: CR LF, CR, LF and <BR> each end a line once.
        {L"a\r\nb\rc\nd<BR>e", {Text(L"a"), Break(), Text(L"b"), Break(), Text(L"c"), Break(), Text(L"d"), Break(), Text(L"e")}},
        {L"<B>윈도우</B> 필수", {Text(L"윈도우", true), Text(L" 필수")}},
    };
    for (const Case& c : cases) {
        const auto runs = ParseHtmlText(c.Text);
        EXPECT_EQ(runs, c.Runs) << std::string(c.Text.begin(), c.Text.end());
    }
    EXPECT_EQ(HtmlPlainText(L"<C><FC:clGray>Programs are only <B>closed</B>, not <B>uninstalled</B>.</FC></C>"),
              L"Programs are only closed, not uninstalled.");
}

// How many pixels of Color there are in R.
int CountPixels(HDC DC, const RECT& R, COLORREF Color) {
    int count = 0;
    for (int y = R.top; y < R.bottom; ++y)
        for (int x = R.left; x < R.right; ++x)
            if (GetPixel(DC, x, y) == Color) ++count;
    return count;
}

TEST(HtmlLabel, PaintsCentredColouredText) {
    TFormOptions o;
    o.ClassName = L"TidoraHtmlTest";
    o.ClientWidth = 460;
    o.ClientHeight = 60;
    TForm form(o);
    form.SetColor(RGB(255, 255, 255));
    form.SetFont(TFontSpec{L"Tahoma", 12, false, false, RGB(0, 0, 0)});
    auto* label = TWindow::Create<THtmlLabel>(&form, L"LblContent", TBounds{2, 10, 449, 33});
    label->SetVerticalCenter(true);
    label->SetCaption(L"<C><FC:clRed>Keeps only <B>closes</B> others.</FC></C>");
    EXPECT_EQ(label->Caption(), L"<C><FC:clRed>Keeps only <B>closes</B> others.</FC></C>");
    EXPECT_EQ(label->PlainText(), L"Keeps only closes others.");
    form.ShowForm();
    ProcessMessages();

    // Paint the label into a bitmap of our own and look at where the ink is.
    const test::TPrintedClient printed(label->Handle());
    const RECT& client = printed.Client();
    HDC memory = printed.DC();
    const int w = client.right, h = client.bottom;
    const int red = CountPixels(memory, client, RGB(255, 0, 0));
    EXPECT_GT(red, 20);
    // Centred: as much red in the left half as mirrored in the right, roughly;
    // and nothing in the outer quarters.
    const int leftQuarter = CountPixels(memory, RECT{0, 0, w / 5, h}, RGB(255, 0, 0));
    const int rightQuarter = CountPixels(memory, RECT{w - w / 5, 0, w, h}, RGB(255, 0, 0));
    EXPECT_EQ(leftQuarter, 0);
    EXPECT_EQ(rightQuarter, 0);
    // Vertically centred: no ink on the top and bottom rows.
    EXPECT_EQ(CountPixels(memory, RECT{0, 0, w, 3}, RGB(255, 0, 0)), 0);
    EXPECT_EQ(CountPixels(memory, RECT{0, h - 3, w, h}, RGB(255, 0, 0)), 0);
}

} // namespace
