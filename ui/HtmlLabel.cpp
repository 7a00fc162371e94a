#include "ui/HtmlLabel.h"

#include "system/Handles.h"
#include "system/Strings.h"
#include "ui/Graphics.h"

namespace tidora {
namespace {

struct TStyle {
    int Bold = 0;
    int Centered = 0;
    std::vector<COLORREF> Colors;
};

void Append(std::vector<THtmlRun>& Runs, const TStyle& Style, wchar_t Ch) {
    const COLORREF color = Style.Colors.empty() ? clDefault : Style.Colors.back();
    if (!Runs.empty() && !Runs.back().LineBreak && Runs.back().Bold == (Style.Bold > 0) &&
        Runs.back().Centered == (Style.Centered > 0) && Runs.back().Color == color) {
        Runs.back().Text += Ch;
        return;
    }
    THtmlRun run;
    run.Text = std::wstring(1, Ch);
    run.Bold = Style.Bold > 0;
    run.Centered = Style.Centered > 0;
    run.Color = color;
    Runs.push_back(run);
}

// Applies a known tag to the style; false for a tag that is not one.
bool ApplyTag(const std::wstring& Tag, TStyle& Style) {
    if (EqualsTextAscii(Tag, L"B")) ++Style.Bold;
    else if (EqualsTextAscii(Tag, L"/B")) Style.Bold -= Style.Bold > 0;
    else if (EqualsTextAscii(Tag, L"C")) ++Style.Centered;
    else if (EqualsTextAscii(Tag, L"/C")) Style.Centered -= Style.Centered > 0;
    else if (Tag.size() > 3 && SameTextAscii(Tag, 0, L"FC:", 3)) Style.Colors.push_back(HtmlColor(Tag.substr(3)));
    else if (EqualsTextAscii(Tag, L"/FC")) {
        if (!Style.Colors.empty()) Style.Colors.pop_back();
    } else return false;
    return true;
}

} // namespace

COLORREF HtmlColor(const std::wstring& Name) {
    static const struct { const wchar_t* Name; COLORREF Color; } colors[] = {
        {L"clBlack", RGB(0, 0, 0)},       {L"clMaroon", RGB(128, 0, 0)}, {L"clGreen", RGB(0, 128, 0)},
        {L"clOlive", RGB(128, 128, 0)},   {L"clNavy", RGB(0, 0, 128)},   {L"clPurple", RGB(128, 0, 128)},
        {L"clTeal", RGB(0, 128, 128)},    {L"clGray", RGB(128, 128, 128)}, {L"clSilver", RGB(192, 192, 192)},
        {L"clRed", RGB(255, 0, 0)},       {L"clLime", RGB(0, 255, 0)},   {L"clYellow", RGB(255, 255, 0)},
        {L"clBlue", RGB(0, 0, 255)},      {L"clFuchsia", RGB(255, 0, 255)}, {L"clAqua", RGB(0, 255, 255)},
        {L"clWhite", RGB(255, 255, 255)},
    };
    for (const auto& c : colors)
        if (EqualsTextAscii(Name, c.Name)) return c.Color;
    if (EqualsTextAscii(Name, L"clGrayText")) return GetSysColor(COLOR_GRAYTEXT);
    return clDefault;
}

std::vector<THtmlRun> ParseHtmlText(const std::wstring& Text) {
    std::vector<THtmlRun> runs;
    TStyle style;
    for (size_t i = 0; i < Text.size(); ++i) {
        const wchar_t ch = Text[i];
        if (ch == L'<') {
            const size_t close = Text.find(L'>', i + 1);
            if (close != std::wstring::npos) {
                const std::wstring tag = Text.substr(i + 1, close - i - 1);
                if (EqualsTextAscii(tag, L"BR")) {
                    runs.push_back(THtmlRun{L"", false, false, clDefault, true});
                    i = close;
                    continue;
                }
                if (ApplyTag(tag, style)) {
                    i = close;
                    continue;
                }
            }
        } else if (ch == L'\r' || ch == L'\n') {
            if (ch == L'\r' && i + 1 < Text.size() && Text[i + 1] == L'\n') ++i;
            runs.push_back(THtmlRun{L"", false, false, clDefault, true});
            continue;
        }
        Append(runs, style, ch);
    }
    return runs;
}

std::wstring HtmlPlainText(const std::wstring& Text) {
    std::wstring plain;
    for (const THtmlRun& run : ParseHtmlText(Text)) plain += run.LineBreak ? L"\r\n" : run.Text;
    return plain;
}

void THtmlLabel::CreateParams(TCreateParams& Params) {
    TLabel::CreateParams(Params);
    Params.ClassName = L"TidoraHtmlLabel";
}

void THtmlLabel::OnFontChanged() {
    TLabel::OnFontChanged();
    FBold.reset();
    FBoldDpi = 0;
}

HFONT THtmlLabel::BoldFont() {
    if (!FBold || FBoldDpi != Dpi()) {
        LOGFONTW lf{};
        GetObjectW(FontHandle(), sizeof(lf), &lf);
        lf.lfWeight = FW_BOLD;
        FBold.reset(CreateFontIndirectW(&lf));
        FBoldDpi = Dpi();
    }
    return static_cast<HFONT>(FBold ? FBold.get() : FontHandle());
}

void THtmlLabel::OnPaint(HDC DC, const RECT& Client) {
    FillSolidRect(DC, Client, Color());
    struct TPiece {
        std::wstring Text;
        HFONT Font;
        COLORREF Color;
        int Width;
    };
    struct TLine {
        std::vector<TPiece> Pieces;
        int Width = 0;
        bool Centered = false;
    };
    HFONT normal = FontHandle(), bold = BoldFont();
    const COLORREF fontColor = TextColor();
    // High contrast: one system text colour for every run.
    const bool systemColors = HighContrastOn();
    const int maxWidth = Client.right - Client.left;
    SetBkMode(DC, TRANSPARENT);
    // Runs select their own fonts; the DC's own comes back at the end.
    const UniqueSelection restore(DC, normal);
    TEXTMETRICW tm{};
    GetTextMetricsW(DC, &tm);
    const int lineHeight = tm.tmHeight;

    std::vector<TLine> lines(1);
    for (const THtmlRun& run : ParseHtmlText(Caption())) {
        if (run.LineBreak) {
            lines.emplace_back();
            continue;
        }
        HFONT font = run.Bold ? bold : normal;
        SelectObject(DC, font);
        // Words keep their trailing space; a line breaks only between words.
        size_t start = 0;
        while (start < run.Text.size()) {
            size_t end = run.Text.find(L' ', start);
            end = end == std::wstring::npos ? run.Text.size() : end + 1;
            const std::wstring word = run.Text.substr(start, end - start);
            SIZE size{};
            GetTextExtentPoint32W(DC, word.c_str(), static_cast<int>(word.size()), &size);
            if (WordWrap() && !lines.back().Pieces.empty() && lines.back().Width + size.cx > maxWidth)
                lines.emplace_back();
            TLine& line = lines.back();
            line.Pieces.push_back(TPiece{word, font, run.Color == clDefault || systemColors ? fontColor : run.Color,
                                          size.cx});
            line.Width += size.cx;
            line.Centered = line.Centered || run.Centered;
            start = end;
        }
    }

    const int total = lineHeight * static_cast<int>(lines.size());
    int y = Client.top + (VerticalCenter() ? (Client.bottom - Client.top - total) / 2 : 0);
    const bool rtl = RightToLeft();
    for (const TLine& line : lines) {
        int x = line.Centered || Alignment() == TTextAlign::taCenter ? (maxWidth - line.Width) / 2
                : (Alignment() == TTextAlign::taRight) != rtl     ? maxWidth - line.Width
                                                                  : 0;
        // On a mirrored window the pieces follow one another from the right.
        if (rtl) x += line.Width;
        for (const TPiece& piece : line.Pieces) {
            if (rtl) x -= piece.Width;
            SelectObject(DC, piece.Font);
            SetTextColor(DC, piece.Color);
            ExtTextOutW(DC, Client.left + x, y, rtl ? ETO_RTLREADING : 0, nullptr, piece.Text.c_str(),
                        static_cast<UINT>(piece.Text.size()), nullptr);
            if (!rtl) x += piece.Width;
        }
        y += lineHeight;
    }
}

} // namespace tidora
