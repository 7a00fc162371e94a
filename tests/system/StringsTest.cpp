#include <gtest/gtest.h>

#include <windows.h>

#include "system/Strings.h"

using namespace tidora;

namespace {

struct ExtractCase {
    const wchar_t* Source;
    const wchar_t* Start;
    const wchar_t* End;
    const wchar_t* Expected;
};

TEST(ExtractBetween, Cases) {
    const ExtractCase cases[] = {
        // Escaped quotes stay in the value and do not end it.
        {LR"({"pk":"ab\"cd","x":1})", L"\"pk\":\"", L"\"", LR"(ab\"cd)"},
        // Start tag found whatever its ASCII case; the value keeps the source's case.
        {LR"({"PK":"AbC"})", L"\"pk\":\"", L"\"", L"AbC"},
        // The first of two start tags wins.
        {L"<a>one</a><a>two</a>", L"<a>", L"</a>", L"one"},
        // End tag missing after the start.
        {L"<a>one", L"<a>", L"</a>", L""},
        // Start tag missing.
        {L"one</a>", L"<a>", L"</a>", L""},
        // Empty tags run from the start or to the end.
        {L"key=value;", L"", L"=", L"key"},
        {L"key=value", L"=", L"", L"value"},
        // The end tag is looked for after the value's start only.
        {L"x\"id\":\"7\"", L"\"id\":\"", L"\"", L"7"},
        // Apostrophe as end tag escapes the same way.
        {LR"(v='it\'s' )", L"v='", L"'", LR"(it\'s)"},
        // A non-ASCII letter's case is not folded.
        {L"ÄB:1", L"äb:", L"", L""},
    };
    for (const ExtractCase& c : cases)
        EXPECT_EQ(ExtractBetween(c.Source, c.Start, c.End), c.Expected) << c.Source;
}

TEST(JsonEscape, KoreanPathsAndControls) {
    EXPECT_EQ(JsonEscape(L"티도라"), L"\\uD2F0\\uB3C4\\uB77C");
    EXPECT_EQ(JsonEscape(L"C:\\Windows\\explorer.exe"), L"C:\\\\Windows\\\\explorer.exe");
    EXPECT_EQ(JsonEscape(L"/"), L"\\/");
    EXPECT_EQ(JsonEscape(L"\"q\""), L"\\\"q\\\"");
    EXPECT_EQ(JsonEscape(L"\b\t\n\f\r"), L"\\b\\t\\n\\f\\r");
    EXPECT_EQ(JsonEscape(std::wstring(L"\x01\x0B\x1F", 3)), L"\\u0001\\u000B\\u001F");
    EXPECT_EQ(JsonEscape(std::wstring(1, L'\0')), L"\\u0000");
    EXPECT_EQ(JsonEscape(L"\x7F\x80\xE9"), L"\x7F\\u0080\\u00E9");
    // A character outside the BMP becomes its two surrogates.
    EXPECT_EQ(JsonEscape(L"\U0001F600"), L"\\uD83D\\uDE00");
}

TEST(JsonUnescape, Escapes) {
    EXPECT_EQ(JsonUnescape(L"\\uD2F0\\ub3c4"), L"티도");
    EXPECT_EQ(JsonUnescape(L"a\\\"b\\'c\\/d\\\\e"), L"a\"b'c/d\\e");
    EXPECT_EQ(JsonUnescape(L"\\b\\f\\n\\r\\t"), L"\b\f\n\r\t");
    // Upper-case letters are not escapes; unknown escapes vanish whole.
    EXPECT_EQ(JsonUnescape(L"a\\xb\\Nc"), L"abc");
    EXPECT_EQ(JsonUnescape(L"end\\"), L"end");
    EXPECT_EQ(JsonUnescape(L"\\uD83D\\uDE00"), L"\U0001F600");
    // Fewer than four digits at the end of the text still count.
    EXPECT_EQ(JsonUnescape(L"x\\u41"), L"xA");
    // Round trip of everything the escape writes.
    const std::wstring mixed = L"경로 C:\\Temp\\a.txt \"q\" /\t\x01";
    EXPECT_EQ(JsonUnescape(JsonEscape(mixed)), mixed);
}

TEST(JsonUnescape, MalformedUnicodeEscapeIsKeptAndNeverThrows) {
    EXPECT_NO_THROW(JsonUnescape(L"\\uZZZZ"));
    EXPECT_EQ(JsonUnescape(L"a\\uZZZZb"), L"a\\uZZZZb");
    EXPECT_EQ(JsonUnescape(L"\\u12G4"), L"\\u12G4");
    EXPECT_EQ(JsonUnescape(L"tail\\u"), L"tail\\u");
    EXPECT_EQ(JsonUnescape(L"\\u\\n"), L"\\u\n");
}

TMemoryStream Bytes(const std::string& bytes) {
    return TMemoryStream(bytes);
}

TEST(IsUtf8Text, Rules) {
    struct Case {
        std::string Bytes;
        bool Expected;
    };
    const Case cases[] = {
        {"", false},
        {"plain ascii only", false},
        {"\xEF\xBB\xBF", true},                   // BOM alone
        {"a\xC3\xA9z", true},                     // two-byte sequence
        {"a\xC3\xA9\xFF\xFF", true},              // first sequence decides
        {"\xC0\x80", false},                      // overlong lead
        {"\xC3\xA9\xA9", false},                  // one continuation too many
        {"\xC3", false},                          // cut short
        {"\xED\x95\x9C", true},                   // Korean syllable (U+D55C)
        {"\xED\xA0\x80", false},                  // surrogate half
        {"\xE0\x9F\x80", false},                  // overlong three-byte
        {"\xE0\xA0\x80", true},
        {"\xEA\xB0\x80", true},                   // U+AC00
        {"\xEA\xB0", false},
        {"\xF0\x9F\x98\x80", true},               // U+1F600
        {"\xF0\x8F\x80\x80", false},              // overlong four-byte
        {"\xF4\x8F\xBF\xBF", true},
        {"\xF4\x90\x80\x80", false},              // beyond U+10FFFF
        {"\xF2\x80\x80\x80", true},
        {"\xF5\x80\x80\x80", false},
        {"\x80", false},
        {"\xB0\xA1", false},                      // EUC-KR text
    };
    for (const Case& c : cases) {
        TMemoryStream s = Bytes(c.Bytes);
        EXPECT_EQ(IsUtf8Text(s, -1), c.Expected) << testing::PrintToString(c.Bytes);
    }
}

TEST(IsUtf8Text, WindowLimitsAndPosition) {
    std::string text(5000, 'a');
    text += "\xC3\xA9";
    TMemoryStream s(text);
    EXPECT_FALSE(IsUtf8Text(s, 4000));  // the sequence lies past the limit
    EXPECT_EQ(s.Position(), 0u);
    EXPECT_TRUE(IsUtf8Text(s, -1));
    // The window never exceeds 16384 bytes.
    std::string distant(20000, 'a');
    distant += "\xC3\xA9";
    TMemoryStream f(distant);
    EXPECT_FALSE(IsUtf8Text(f, -1));
    // The window starts at the stream's position; afterwards it is 0.
    TMemoryStream p(std::string("\xC3\xA9zz"));
    p.SetPosition(2);
    EXPECT_FALSE(IsUtf8Text(p, -1));
    EXPECT_EQ(p.Position(), 0u);
    EXPECT_FALSE(IsUtf8Text(p, 0));
}

TEST(UrlEncode, Utf8Form) {
    EXPECT_EQ(UrlEncode(L"a b"), L"a+b");
    EXPECT_EQ(UrlEncode(L"AZaz09!$'()*-.@_"), L"AZaz09!$'()*-.@_");
    EXPECT_EQ(UrlEncode(L"a=1&b/c~"), L"a%3D1%26b%2Fc%7E");
    EXPECT_EQ(UrlEncode(L"한"), L"%ED%95%9C");
    EXPECT_EQ(UrlEncode(L"\U0001F600"), L"%F0%9F%98%80");
}

TEST(UrlEncode, CodePageForm) {
    EXPECT_EQ(UrlEncodeCP(L"a b", 949), L"a%20b");
    EXPECT_EQ(UrlEncodeCP(L"a b", 65001), L"a+b");
    EXPECT_EQ(UrlEncodeCP(L"한", 949), L"%C7%D1");
    // The 25 special characters are encoded; others such as "-", "~", "," are not.
    EXPECT_EQ(UrlEncodeCP(L" \"'.=`!@#$%^&*(){}_+|\\/?:", 949),
              L"%20%22%27%2E%3D%60%21%40%23%24%25%5E%26%2A%28%29%7B%7D%5F%2B%7C%5C%2F%3F%3A");
    EXPECT_EQ(UrlEncodeCP(L"a-b~c,d;", 949), L"a-b~c,d;");
    // Control bytes pass through as characters.
    EXPECT_EQ(UrlEncodeCP(L"\t", 949), L"\t");
}

TEST(Lines, SplitAndTrim) {
    const std::vector<std::wstring> expected = {L"a", L"", L"b", L"c", L"", L"d"};
    EXPECT_EQ(SplitLines(L"a\r\n\r\nb\nc\r\rd"), expected);
    EXPECT_EQ(SplitLines(L"a\r\nb\r\n"), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(SplitLines(L"a\n\n"), (std::vector<std::wstring>{L"a", L""}));
    EXPECT_TRUE(SplitLines(L"").empty());
    EXPECT_EQ(TrimControl(std::wstring(L"\t  x y \x01\r\n")), L"x y");
    EXPECT_EQ(TrimControl(L" \t "), L"");
}

TEST(AsciiCase, FoldsOnlyTheLettersAToZ) {
    struct Case {
        const wchar_t* A;
        const wchar_t* B;
        bool Equal;
    };
    const Case cases[] = {
        {L"msiexec.exe", L"MSIEXEC.EXE", true},
        {L"HKEY_local_MACHINE", L"hkey_LOCAL_machine", true},
        {L"i", L"I", true},
        // The dotless and the dotted I, and letters beyond ASCII, fold to nothing else.
        {L"\u0131", L"I", false},
        {L"\u0130", L"i", false},
        {L"\u00E9", L"\u00C9", false},
        {L"[", L"{", false},  // 0x5B and 0x7B are 32 apart but no letters
        {L"ab", L"abc", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EqualsTextAscii(c.A, c.B), c.Equal) << c.A << L" " << c.B;
        EXPECT_EQ(UpperCaseAscii(c.A) == UpperCaseAscii(c.B), c.Equal) << c.A << L" " << c.B;
        EXPECT_EQ(LowerCaseAscii(c.A) == LowerCaseAscii(c.B), c.Equal) << c.A << L" " << c.B;
        if (c.Equal) {
            EXPECT_EQ(HashTextAscii(c.A), HashTextAscii(c.B)) << c.A << L" " << c.B;
        }
    }
    EXPECT_EQ(UpperCaseAscii(L"r\u00E9gl\u0131st"), L"R\u00E9GL\u0131ST");
    EXPECT_EQ(LowerCaseAscii(L"\u0130NSTALL"), L"\u0130nstall");

    EXPECT_EQ(FindTextAscii(L"C:\\Windows\\System32\\MsiExec.exe /X{1}", L"MSIEXEC"), 20u);
    EXPECT_EQ(FindTextAscii(L"msi", L"MSIEXEC"), std::wstring::npos);
    EXPECT_EQ(FindTextAscii(L"abc", L""), 0u);
    EXPECT_TRUE(StartsTextAscii(L"HTTPS://x", L"https://"));
    EXPECT_FALSE(StartsTextAscii(L"http", L"https://"));
    EXPECT_TRUE(SameTextAscii(L"xxWow6432Node", 2, L"WOW6432NODE", 11));
    EXPECT_FALSE(SameTextAscii(L"xxWow", 2, L"WOW6432NODE", 11));
    EXPECT_FALSE(SameTextAscii(L"ab", 5, L"", 0));
}

// Run again by ctest under a Turkish locale (LC_ALL=tr_TR.UTF-8 for Wine),
// where the locale upper-cases "i" to a dotted capital I: fixed words must
// still be recognised, while the lists keep the locale's own rules.
TEST(TurkishLocale, FixedWordsStayOrdinal) {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    wchar_t expected[16] = {};
    GetEnvironmentVariableW(L"TIDORA_EXPECT_LOCALE", expected, 16);
    if (std::wstring(name) != L"tr-TR") {
        // The run ctest starts for this test must not pass without the locale.
        if (expected[0]) FAIL() << "the user locale is " << name << ", not " << expected;
        GTEST_SKIP() << "the user locale is " << name << ", not tr-TR";
    }
    // The locale is really Turkish: this is what broke the fixed words.
    EXPECT_EQ(UpperCaseLocale(L"msiexec"), L"MS\u0130EXEC");
    EXPECT_NE(FindTextAscii(L"c:\\windows\\system32\\msiexec.exe /i{1}", L"MSIEXEC"), std::wstring::npos);
    EXPECT_TRUE(EqualsTextAscii(L"rundll32.exe", L"RUNDLL32.EXE"));
    EXPECT_EQ(UpperCaseAscii(L"install"), L"INSTALL");
}

} // namespace
