#pragma once
// A label whose caption carries a few HTML-like tags: "<B>" bold, "<C>"
// centred, "<FC:clGray>" a text colour, each closed by "</B>", "</C>", "</FC>"
// (tags are read without regard to case; a tag it does not know is text).
// The caption, tags included, is the window text; long lines wrap at spaces.
#include <vector>

#include "ui/Label.h"

namespace tidora {

struct THtmlRun {
    std::wstring Text;
    bool Bold = false;
    bool Centered = false;
    COLORREF Color = clDefault;  // the label's font colour
    bool LineBreak = false;      // a run that only ends the line
    bool operator==(const THtmlRun& o) const {
        return Text == o.Text && Bold == o.Bold && Centered == o.Centered && Color == o.Color &&
               LineBreak == o.LineBreak;
    }
};

// Runs of equal style in text order; a CR, LF or CR LF becomes a line break.
std::vector<THtmlRun> ParseHtmlText(const std::wstring& Text);
// The caption without its tags.
std::wstring HtmlPlainText(const std::wstring& Text);
// A colour name of the tag ("clGray", "clRed" ...); clDefault when unknown.
COLORREF HtmlColor(const std::wstring& Name);

class THtmlLabel : public TLabel {
public:
    explicit THtmlLabel(TWindow* Parent) : TLabel(Parent) { SetWordWrap(true); }
    std::wstring PlainText() const { return HtmlPlainText(Caption()); }

protected:
    std::wstring ShownText() const override { return PlainText(); }

protected:
    void CreateParams(TCreateParams& Params) override;
    void OnPaint(HDC DC, const RECT& Client) override;
    void OnFontChanged() override;

private:
    HFONT BoldFont();
    UniqueGdiObject FBold;
    UINT FBoldDpi = 0;
};

} // namespace tidora
