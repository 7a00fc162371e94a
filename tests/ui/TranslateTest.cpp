#include <gtest/gtest.h>

#include <memory>

#include "ui/Translate.h"

using namespace tidora;

namespace {

class TranslateTest : public testing::Test {
protected:
    void SetUp() override { Saved = CurrentLanguage(); }
    void TearDown() override { SetCurrentLanguage(Saved); }
    std::wstring Saved;
};

TEST_F(TranslateTest, LooksUpAnyLanguageAndFallsBackToEnglish) {
    struct Case { const wchar_t* Text; const wchar_t* Language; const wchar_t* Expected; } cases[] = {
        {L"처음화면", L"ja", L"ホーム"},
        {L"처음화면", L"de", L"Home"},         // a language without rows
        {L"처음화면", L"ko", L"처음화면"},
        {L"Home", L"fr", L"Accueil"},          // any language's text finds its block
        {L"home", L"ru", L"Главная"},          // ASCII case ignored in the search
        {L"ГЛАВНАЯ", L"en", L"ГЛАВНАЯ"},       // but no other case folding
        {L"ホーム", L"zh", L"主页"},
        {L"오류가 발생했습니다.", L"ar", L"An error has occurred."},  // block without ar
        {L"오류가 발생했습니다.", L"it", L"Si è verificato un errore."},
        {L"목록 저장", L"en", L"목록 저장"},   // no block
        {L"알수없음", L"ja", L"알수없음"},
        {L"", L"en", L""},
        {L"Tidora ", L"ko", L"Tidora "},       // nothing is trimmed
        {L"강제설치", L"fr", L"Groupé"},
        {L"사용안함", L"ar", L"تعطيل"},
        {L"윈도우 필수 프로그램만 남기고 <B>종료</B>합니다.", L"en",
         L"Keeps only essential Windows programs and <B>closes</B> others."},
        {L"부트윅", L"ru", L"Bootwick"},
    };
    for (const Case& c : cases) EXPECT_EQ(TranslateText(c.Text, c.Language), c.Expected) << c.Text;

    // Without a language the current one is used.
    SetCurrentLanguage(L"it");
    EXPECT_EQ(TranslateText(L"삭제하기"), L"Disinstalla");
    // Translating a translation gives it back.
    EXPECT_EQ(TranslateText(TranslateText(L"자동실행")), L"Avvio");
}

TEST_F(TranslateTest, LineBreakMarksBecomeCarriageReturns) {
    EXPECT_EQ(TranslateText(L"첫 줄\\n둘째 줄\\n", L"en"), L"첫 줄\r둘째 줄\r");
    EXPECT_EQ(TranslateText(L"keep \\N and \\t", L"en"), L"keep \\N and \\t");

    // A row's own "\n" is replaced in what it returns, and the search uses the
    // text as passed in.
    auto& table = TranslationTable();
    const auto saved = table;
    table = {L"ko=한 줄\\n두 줄", L"en=One\\nTwo", L"", L"ko=끝", L"en=End"};
    EXPECT_EQ(TranslateText(L"한 줄\\n두 줄", L"fr"), L"One\rTwo");
    // The search folds ASCII case in the mark too, the output has none left.
    EXPECT_EQ(TranslateText(L"ONE\\NTWO", L"ko"), L"한 줄\r두 줄");
    EXPECT_EQ(TranslateText(L"one\\ntwo", L"ko"), L"한 줄\r두 줄");
    table = saved;
}

TEST_F(TranslateTest, TableLayoutIsReadWhateverTheLineBreaks) {
    const auto& table = TranslationTable();
    ASSERT_FALSE(table.empty());
    // 29 blocks of 8 lines, one without ar, 28 single separators, one double
    // one, and the final empty line.
    EXPECT_EQ(table.size(), 29u * 8 - 1 + 29 + 1);
    // Blocks on both sides of the switch from CR LF to LF breaks translate.
    EXPECT_EQ(TranslateText(L"메모리를 정리하였습니다.", L"fr"), L"Mémoire optimisée.");
    EXPECT_EQ(TranslateText(L"출처", L"ja"), L"場所");
    // The duplicated Home rows: the first block wins, and both say the same.
    EXPECT_EQ(TranslateText(L"Accueil", L"ko"), L"처음화면");
    // Lines are kept exactly: a text with "=" in it finds its row.
    auto& mutableTable = TranslationTable();
    const auto saved = mutableTable;
    mutableTable = {L"ko=a=b", L"en=A=B", L"", L"", L"ko=x", L"en", L"fr=X"};
    EXPECT_EQ(TranslateText(L"a=b", L"en"), L"A=B");
    EXPECT_EQ(TranslateText(L"x", L"en"), L"x");     // "en" without "=" is no line for en
    EXPECT_EQ(TranslateText(L"x", L"fr"), L"X");
    EXPECT_EQ(TranslateText(L"", L"fr"), L"");       // the empty text never matches "en"
    mutableTable = saved;
}

TEST_F(TranslateTest, UserLanguage) {
    const std::wstring language = DetectUserLanguage();
    EXPECT_GE(language.size(), 2u);
    EXPECT_EQ(CurrentLanguage(), language.substr(0, 2));
}

// A small window tree: a form owning a label, a page with its own button, and
// a popup menu whose items the window also owns.
class FakeItem : public TMenuItem {
public:
    explicit FakeItem(std::wstring caption) : Text(std::move(caption)) {}
    std::wstring Caption() const override { return Text; }
    void SetCaption(const std::wstring& c) override { Text = c; ++Writes; }
    size_t Count() const override { return Items.size(); }
    TMenuItem* Item(size_t i) override { return Items[i].get(); }
    std::wstring Text;
    int Writes = 0;
    std::vector<std::unique_ptr<FakeItem>> Items;
};

class FakeComponent : public TComponent {
public:
    FakeComponent(std::wstring caption, bool form = false, bool hasCaption = true)
        : Text(std::move(caption)), Form(form), Captioned(hasCaption) {}
    TMenuItem* PopupRoot() override { return Popup; }
    bool HasCaption() const override { return Captioned; }
    std::wstring Caption() const override { return Text; }
    void SetCaption(const std::wstring& c) override { Text = c; }
    bool IsForm() const override { return Form; }
    size_t OwnedCount() const override { return Children.size(); }
    TComponent* Owned(size_t i) override { return Children[i]; }
    std::wstring Text;
    bool Form, Captioned;
    TMenuItem* Popup = nullptr;
    std::vector<TComponent*> Children;
};

// A menu item seen as an owned component, as toolkits list them.
class MenuItemComponent : public TComponent {
public:
    explicit MenuItemComponent(FakeItem* item) : Item(item) {}
    bool HasCaption() const override { return true; }
    std::wstring Caption() const override { return Item->Caption(); }
    void SetCaption(const std::wstring& c) override { Item->SetCaption(c); }
    FakeItem* Item;
};

TEST_F(TranslateTest, ComponentWalk) {
    FakeComponent form(L"티도라", true);
    FakeComponent label(L"처음화면");
    FakeComponent page(L"자동실행");
    FakeComponent button(L"사용함");
    FakeComponent panel(L"", false, false);
    FakeComponent menu(L"", false, false);
    FakeItem root(L"");
    root.Items.push_back(std::make_unique<FakeItem>(L"사용안함"));
    root.Items.back()->Items.push_back(std::make_unique<FakeItem>(L"열기"));
    root.Items.push_back(std::make_unique<FakeItem>(L"목록 저장"));
    menu.Popup = &root;
    MenuItemComponent ownedItem(root.Items[0].get());
    page.Children = {&button};
    form.Children = {&label, &page, &panel, &menu, &ownedItem};

    TranslateComponent(&form, L"ja");
    EXPECT_EQ(CurrentLanguage(), L"ja");
    EXPECT_EQ(form.Text, L"Tidora");       // a form's title uses English
    EXPECT_EQ(label.Text, L"ホーム");
    EXPECT_EQ(page.Text, L"起動");         // a page is no form
    EXPECT_EQ(button.Text, L"有効化");
    EXPECT_EQ(root.Text, L"");
    EXPECT_EQ(root.Items[0]->Text, L"無効化");
    EXPECT_EQ(root.Items[0]->Items[0]->Text, L"開く");
    EXPECT_EQ(root.Items[1]->Text, L"목록 저장");
    EXPECT_EQ(root.Items[0]->Writes, 2);   // reached through the menu and as owned

    // A second walk changes nothing.
    TranslateComponent(&form);
    EXPECT_EQ(form.Text, L"Tidora");
    EXPECT_EQ(label.Text, L"ホーム");
    EXPECT_EQ(root.Items[0]->Text, L"無効化");

    FakeComponent korean(L"티도라", true);
    TranslateComponent(&korean, L"ko");
    EXPECT_EQ(korean.Text, L"티도라");
    FakeComponent french(L"티도라", true);
    TranslateComponent(&french, L"fr");
    EXPECT_EQ(french.Text, L"Tidora");

    TranslateComponent(nullptr, L"ru");
    EXPECT_EQ(CurrentLanguage(), L"ru");
    TranslateMenuItem(nullptr);
}

} // namespace
