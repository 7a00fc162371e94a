#include "system/Strings.h"

#include <windows.h>

#include <climits>
#include <cstdint>
#include <cwchar>

namespace tidora {
namespace {

wchar_t AsciiUpper(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
}

std::wstring AsciiUpper(const std::wstring& text) {
    std::wstring out(text);
    for (wchar_t& c : out) c = AsciiUpper(c);
    return out;
}

const wchar_t kHex[] = L"0123456789ABCDEF";

void AppendPercent(std::wstring& out, unsigned char byte) {
    out += L'%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

// The character at i (both halves of a surrogate pair) as percent-encoded
// UTF-8 bytes; returns the code units used.
size_t AppendUtf8Percent(std::wstring& out, const std::wstring& text, size_t i) {
    size_t units = 1;
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF)
        units = 2;
    for (unsigned char b : WideToUtf8(text.substr(i, units))) AppendPercent(out, b);
    return units;
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool IsContinuation(uint8_t b) { return b >= 0x80 && b <= 0xBF; }

// Continuation bytes directly following position i, at most four.
int CountContinuations(const std::vector<uint8_t>& w, size_t i) {
    int n = 0;
    while (i < w.size() && n < 4 && IsContinuation(w[i])) {
        ++i;
        ++n;
    }
    return n;
}

// A lead byte whose second byte has its own range, then Rest continuations.
bool CheckedSequence(const std::vector<uint8_t>& w, size_t i, uint8_t lo, uint8_t hi, int rest) {
    if (i + 1 >= w.size() || w[i + 1] < lo || w[i + 1] > hi) return false;
    return CountContinuations(w, i + 2) == rest;
}

} // namespace

std::wstring ExtractBetween(const std::wstring& Source, const std::wstring& StartTag,
                            const std::wstring& EndTag) {
    std::wstring source = AsciiUpper(Source);
    const std::wstring start = AsciiUpper(StartTag);
    const std::wstring end = AsciiUpper(EndTag);
    if (end == L"\"" || end == L"'") {
        // Same length in and out, so positions in the copy stay those of the source.
        const wchar_t quote = end[0];
        for (size_t i = 0; i + 1 < source.size(); ++i) {
            if (source[i] == L'\\' && source[i + 1] == quote) {
                source[i + 1] = L'\\';
                ++i;
            }
        }
    }
    size_t from = 0;
    if (!start.empty()) {
        size_t at = source.find(start);
        if (at == std::wstring::npos) return {};
        from = at + start.size();
    }
    size_t to = Source.size();
    if (!end.empty()) {
        size_t at = source.find(end, from);
        if (at == std::wstring::npos) return {};
        to = at;
    }
    return Source.substr(from, to - from);
}

namespace {

// The JSON escape of Text appended to Out, a text of wide or narrow
// characters (the escape is pure ASCII).
template <typename TOut>
void AppendJsonEscapedTo(TOut& Out, std::wstring_view Text) {
    using Char = typename TOut::value_type;
    for (wchar_t c : Text) {
        const char* pair = nullptr;
        switch (c) {
        case 8: pair = "\\b"; break;
        case 9: pair = "\\t"; break;
        case 10: pair = "\\n"; break;
        case 12: pair = "\\f"; break;
        case 13: pair = "\\r"; break;
        case L'"': pair = "\\\""; break;
        case L'/': pair = "\\/"; break;
        case L'\\': pair = "\\\\"; break;
        }
        if (pair) {
            Out += static_cast<Char>(pair[0]);
            Out += static_cast<Char>(pair[1]);
        } else if (c < 32 || c > 127) {
            Out += static_cast<Char>('\\');
            Out += static_cast<Char>('u');
            for (int shift = 12; shift >= 0; shift -= 4) Out += static_cast<Char>(kHex[(c >> shift) & 0xF]);
        } else {
            Out += static_cast<Char>(c);
        }
    }
}

// Takes characters as a text would and only counts them.
struct TCharCount {
    using value_type = char;
    size_t Length = 0;
    TCharCount& operator+=(char) {
        ++Length;
        return *this;
    }
};

} // namespace

std::wstring JsonEscape(const std::wstring& Text) {
    std::wstring out;
    out.reserve(Text.size() + Text.size() / 4 + 8);
    AppendJsonEscapedTo(out, Text);
    return out;
}

size_t JsonEscapedLength(std::wstring_view Text) {
    // Counted by the same walk that writes the escape, so that the length
    // announced for a body written in pieces is the length written.
    TCharCount count;
    AppendJsonEscapedTo(count, Text);
    return count.Length;
}

void AppendJsonEscaped(std::string& Out, std::wstring_view Text) {
    AppendJsonEscapedTo(Out, Text);
}

std::wstring JsonUnescape(const std::wstring& Text) {
    std::wstring out;
    out.reserve(Text.size());
    const size_t n = Text.size();
    size_t i = 0;
    while (i < n) {
        wchar_t c = Text[i];
        if (c != L'\\') {
            out += c;
            ++i;
            continue;
        }
        if (i + 1 >= n) break;  // a lone trailing backslash is dropped
        wchar_t e = Text[i + 1];
        i += 2;
        switch (e) {
        case L'"': case L'\'': case L'/': case L'\\': out += e; break;
        case L'b': out += L'\b'; break;
        case L'f': out += L'\f'; break;
        case L'n': out += L'\n'; break;
        case L'r': out += L'\r'; break;
        case L't': out += L'\t'; break;
        case L'u': {
            size_t len = n - i < 4 ? n - i : 4;
            unsigned value = 0;
            bool hex = len > 0;
            for (size_t k = 0; k < len && hex; ++k) {
                int d = HexDigit(Text[i + k]);
                if (d < 0) hex = false;
                else value = value * 16 + static_cast<unsigned>(d);
            }
            if (hex) {
                out += static_cast<wchar_t>(value);
                i += len;
            } else {
                // Malformed replies must not end the program: keep the text as sent.
                out += L"\\u";
            }
            break;
        }
        default:
            break;  // unknown escapes vanish, backslash and all
        }
    }
    return out;
}

bool IsUtf8Text(TMemoryStream& Stream, int Limit) {
    size_t window = Stream.Size() - Stream.Position();
    if (window > 16384) window = 16384;
    if (Limit >= 0 && static_cast<size_t>(Limit) < window) window = static_cast<size_t>(Limit);
    if (window == 0) return false;
    std::vector<uint8_t> w(window);
    w.resize(Stream.Read(w.data(), window));
    Stream.SetPosition(0);

    if (w.size() >= 3 && w[0] == 0xEF && w[1] == 0xBB && w[2] == 0xBF) return true;
    for (size_t i = 0; i < w.size(); ++i) {
        const uint8_t b = w[i];
        if (b <= 0x7F) continue;
        if (b <= 0xC1) return false;
        if (b <= 0xDF) return CountContinuations(w, i + 1) == 1;
        if (b == 0xE0) return CheckedSequence(w, i, 0xA0, 0xBF, 1);
        if (b == 0xED) return CheckedSequence(w, i, 0x80, 0x9F, 1);
        if (b <= 0xEF) return CountContinuations(w, i + 1) == 2;
        if (b == 0xF0) return CheckedSequence(w, i, 0x90, 0xBF, 2);
        if (b <= 0xF3) return CountContinuations(w, i + 1) == 3;
        if (b == 0xF4) return CheckedSequence(w, i, 0x80, 0x8F, 2);
        return false;
    }
    return false;
}

std::wstring UrlEncode(const std::wstring& Text) {
    static const std::wstring kKept = L"!$'()*-.@_";
    std::wstring out;
    out.reserve(Text.size() * 3);
    const size_t n = Text.size();
    for (size_t i = 0; i < n; ++i) {
        wchar_t c = Text[i];
        if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
            kKept.find(c) != std::wstring::npos) {
            out += c;
        } else if (c == L' ') {
            out += L'+';
        } else {
            i += AppendUtf8Percent(out, Text, i) - 1;
        }
    }
    return out;
}

std::wstring PercentEncode(const std::wstring& Text) {
    std::wstring out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size(); ++i) {
        wchar_t c = Text[i];
        if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-' ||
            c == L'.' || c == L'_' || c == L'~')
            out += c;
        else
            i += AppendUtf8Percent(out, Text, i) - 1;
    }
    return out;
}

std::wstring UrlEncodeCP(const std::wstring& Text, unsigned CodePage) {
    if (CodePage == CP_UTF8) return UrlEncode(Text);
    static const std::string kSpecial = " \"'.=`!@#$%^&*(){}_+|\\/?:";
    std::string bytes;
    if (!Text.empty()) {
        int size = WideCharToMultiByte(CodePage, 0, Text.data(), static_cast<int>(Text.size()),
                                       nullptr, 0, nullptr, nullptr);
        if (size > 0) {
            bytes.resize(static_cast<size_t>(size));
            WideCharToMultiByte(CodePage, 0, Text.data(), static_cast<int>(Text.size()), &bytes[0],
                                size, nullptr, nullptr);
        }
    }
    std::wstring out;
    out.reserve(bytes.size() * 3);
    for (char ch : bytes) {
        const unsigned char b = static_cast<unsigned char>(ch);
        if (b > 128 || kSpecial.find(ch) != std::string::npos) AppendPercent(out, b);
        else out += static_cast<wchar_t>(b);
    }
    return out;
}

std::wstring CodePageToWide(const std::string& Bytes, unsigned CodePage) {
    return CodePageToWide(Bytes.data(), Bytes.size(), CodePage);
}

std::wstring CodePageToWide(const char* Bytes, size_t Size, unsigned CodePage) {
    if (!Size) return {};
    const int len = static_cast<int>(Size);
    int size = MultiByteToWideChar(CodePage, 0, Bytes, len, nullptr, 0);
    if (size <= 0) return {};
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CodePage, 0, Bytes, len, &out[0], size);
    return out;
}

std::wstring Utf8ToWide(const std::string& Bytes) {
    return CodePageToWide(Bytes, CP_UTF8);
}

std::string WideToUtf8(const std::wstring& Text) {
    if (Text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0,
                                   nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), &out[0], size, nullptr,
                        nullptr);
    return out;
}

} // namespace tidora

namespace tidora {

std::vector<std::wstring> SplitLines(const std::wstring& Text) {
    std::vector<std::wstring> lines;
    size_t from = 0;
    const size_t n = Text.size();
    while (from < n) {
        size_t at = Text.find_first_of(L"\r\n", from);
        if (at == std::wstring::npos) {
            lines.push_back(Text.substr(from));
            break;
        }
        lines.push_back(Text.substr(from, at - from));
        from = at + (Text[at] == L'\r' && at + 1 < n && Text[at + 1] == L'\n' ? 2 : 1);
    }
    return lines;
}

std::wstring TrimControl(const std::wstring& Text) {
    size_t first = 0, last = Text.size();
    while (first < last && Text[first] <= 32) ++first;
    while (last > first && Text[last - 1] <= 32) --last;
    return Text.substr(first, last - first);
}

std::wstring UpperCaseAscii(const std::wstring& Text) {
    return AsciiUpper(Text);
}

std::wstring LowerCaseAscii(const std::wstring& Text) {
    std::wstring out(Text);
    for (wchar_t& c : out)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    return out;
}

bool SameTextAscii(const std::wstring& A, size_t AFrom, const std::wstring& B, size_t Count) {
    if (A.size() < AFrom || A.size() - AFrom < Count || B.size() < Count) return false;
    for (size_t i = 0; i < Count; ++i)
        if (AsciiUpper(A[AFrom + i]) != AsciiUpper(B[i])) return false;
    return true;
}

bool EqualsTextAscii(const std::wstring& A, const std::wstring& B) {
    return A.size() == B.size() && SameTextAscii(A, 0, B, B.size());
}

size_t HashTextAscii(const std::wstring& Text) {
    // FNV-1a over the folded characters.
    uint64_t hash = 14695981039346656037ull;
    for (wchar_t c : Text) hash = (hash ^ static_cast<uint64_t>(AsciiUpper(c))) * 1099511628211ull;
    return static_cast<size_t>(hash ^ (hash >> 32));
}

bool StartsTextAscii(const std::wstring& Text, const std::wstring& Prefix) {
    return SameTextAscii(Text, 0, Prefix, Prefix.size());
}

size_t FindTextAscii(const std::wstring& Text, const std::wstring& Word) {
    for (size_t i = 0; i + Word.size() <= Text.size(); ++i)
        if (SameTextAscii(Text, i, Word, Word.size())) return i;
    return std::wstring::npos;
}

std::wstring UpperCaseLocale(const std::wstring& Text) {
    if (Text.empty()) return Text;
    const DWORD flags = LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING;
    const int len = static_cast<int>(Text.size());
    int size = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, Text.data(), len, nullptr, 0, nullptr, nullptr, 0);
    if (size <= 0) return Text;
    std::wstring out(static_cast<size_t>(size), L'\0');
    LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, Text.data(), len, &out[0], size, nullptr, nullptr, 0);
    return out;
}

bool SameTextLocale(const std::wstring& A, const std::wstring& B) {
    return CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, A.data(), static_cast<int>(A.size()),
                           B.data(), static_cast<int>(B.size()), nullptr, nullptr, 0) == CSTR_EQUAL;
}

bool StartsTextLocale(const std::wstring& Value, const std::wstring& Prefix) {
    if (Value.size() < Prefix.size()) return false;
    const int len = static_cast<int>(Prefix.size());
    return CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, Value.data(), len, Prefix.data(), len,
                           nullptr, nullptr, 0) == CSTR_EQUAL;
}

bool SortKeyLocale(const wchar_t* Text, size_t Length, std::string& Key) {
    if (Length == 0 || Length > static_cast<size_t>(INT_MAX / 16)) return false;
    const int length = static_cast<int>(Length);
    // A key takes a few bytes per character; the size is asked only when the
    // first guess is short.
    Key.resize(Length * 8 + 32);
    int size = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, Text, length,
                             reinterpret_cast<LPWSTR>(&Key[0]), static_cast<int>(Key.size()), nullptr, nullptr, 0);
    if (size == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        size = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, Text, length, nullptr, 0,
                             nullptr, nullptr, 0);
        if (size <= 0) return false;
        Key.resize(static_cast<size_t>(size));
        size = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, Text, length,
                             reinterpret_cast<LPWSTR>(&Key[0]), size, nullptr, nullptr, 0);
    }
    if (size <= 0) return false;
    Key.resize(static_cast<size_t>(size));
    return true;
}

} // namespace tidora
