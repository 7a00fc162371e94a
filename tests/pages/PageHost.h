#pragma once
// What both page tests stand on: a form that is never shown (showing one costs
// seconds under a bare X server) with the page filling it, as on the main
// window's card, and the user's language put back afterwards.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/Form.h"
#include "ui/ListView.h"
#include "ui/Translate.h"

namespace tidora::test {

// What the test's save dialog answers, one answer per showing ("" cancels):
// true with the file name taken from the front of Answers.
inline bool TakeSaveAnswer(std::vector<std::wstring>& Answers, std::wstring& FileName) {
    if (Answers.empty()) return false;
    FileName = Answers.front();
    Answers.erase(Answers.begin());
    return !FileName.empty();
}

// The page TPage (a test's own kind) named Name on a host form of class
// ClassName whose client area is Width by Height at 96 dpi.
template <typename TPage>
class TPageHost : public testing::Test {
protected:
    TPageHost(const wchar_t* ClassName, const wchar_t* Name, int Width, int Height)
        : FClassName(ClassName), FName(Name), FWidth(Width), FHeight(Height) {}

    void SetUp() override {
        SavedLanguage = CurrentLanguage();
        MakePage();
    }
    void TearDown() override {
        Host.reset();
        SetCurrentLanguage(SavedLanguage);
    }

    // A new host and page, translated into the current language.
    void MakePage() {
        Host.reset();
        TFormOptions o;
        o.Platform = Platform;
        o.ClassName = FClassName;
        o.ClientWidth = FWidth;
        o.ClientHeight = FHeight;
        Host = std::make_unique<TForm>(o);
        Page = TWindow::Create<TPage>(Host.get(), FName, TBounds{0, 0, FWidth, FHeight}, TAlign::alClient);
        PageMade();
    }
    // Hands the new page what its fixture keeps (its lists).
    virtual void PageMade() {}

    // What the list control itself shows in a cell.
    static std::wstring Cell(TListView* List, int Row, int Column) {
        wchar_t text[260] = {};
        LVITEMW item{};
        item.iSubItem = Column;
        item.pszText = text;
        item.cchTextMax = 260;
        SendMessageW(List->Handle(), LVM_GETITEMTEXTW, Row, reinterpret_cast<LPARAM>(&item));
        return text;
    }

    // What the host form, and so the page on it, is made with.
    TPlatform Platform = RealPlatform();
    std::unique_ptr<TForm> Host;
    TPage* Page = nullptr;
    std::wstring SavedLanguage;

private:
    const wchar_t* FClassName;
    const wchar_t* FName;
    int FWidth, FHeight;
};

} // namespace tidora::test
