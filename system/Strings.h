#pragma once
// The program's own small text routines: cutting single values out of service
// replies, the hand-written JSON escape, encoding sniffing and the two
// percent-encodings. All are pure and may run on any thread.
#include <string>
#include <string_view>
#include <vector>

#include "system/Stream.h"

namespace tidora {

// The text between the first StartTag (ASCII case ignored) and the first EndTag
// after it, in the source's own case; empty when either tag is missing. With a
// quote as end tag, backslash-escaped quotes do not end the value.
std::wstring ExtractBetween(const std::wstring& Source, const std::wstring& StartTag,
                            const std::wstring& EndTag);

// The text as the inside of a JSON string; the result is pure ASCII.
std::wstring JsonEscape(const std::wstring& Text);
// The length of Text's JSON escape, and the escape (pure ASCII) appended to
// a UTF-8 text: a long JSON text can be measured first and written once.
size_t JsonEscapedLength(std::wstring_view Text);
void AppendJsonEscaped(std::string& Out, std::wstring_view Text);

// Decodes JSON escapes. Never throws: a "\u" without hexadecimal digits is
// copied through as it stands.
std::wstring JsonUnescape(const std::wstring& Text);

// Whether the bytes from the stream's position on look like UTF-8 (a BOM, or a
// first multi-byte sequence that is well formed). Looks at no more than Limit
// bytes (negative: no limit) and at most 16384; leaves the position at 0.
bool IsUtf8Text(TMemoryStream& Stream, int Limit);

// Percent-encoding of the UTF-8 bytes; a space becomes "+".
std::wstring UrlEncode(const std::wstring& Text);
// Percent-encoding of every character but the unreserved ones (letters,
// digits, "-", "." "_", "~") as its UTF-8 bytes: text that cannot change the
// address it is put into.
std::wstring PercentEncode(const std::wstring& Text);
// Percent-encoding of the text's bytes in CodePage (65001 is UrlEncode).
std::wstring UrlEncodeCP(const std::wstring& Text, unsigned CodePage);

// Conversions at the edge: UTF-8 on the wire and on disk, UTF-16 in memory.
std::wstring Utf8ToWide(const std::string& Bytes);
std::string WideToUtf8(const std::wstring& Text);
// Bytes in CodePage (CP_ACP, 949, 51949 ...) to UTF-16.
std::wstring CodePageToWide(const std::string& Bytes, unsigned CodePage);
// The same for a buffer the caller holds, without copying it first.
std::wstring CodePageToWide(const char* Bytes, size_t Size, unsigned CodePage);

} // namespace tidora

namespace tidora {

// Splits text into lines at CR LF, lone LF or lone CR. A final line break
// ends the last line; it does not start an empty one.
std::vector<std::wstring> SplitLines(const std::wstring& Text);

// Removes leading and trailing characters with codes 0 to 32.
std::wstring TrimControl(const std::wstring& Text);

// Ordinal, culture-free case folding of the letters A to Z alone: for fixed
// ASCII words (commands, extensions, key, tag and header names), which must
// compare the same under every locale (a Turkish one upper-cases "i" to a
// dotted capital I). Other characters stay as they are.
std::wstring UpperCaseAscii(const std::wstring& Text);
std::wstring LowerCaseAscii(const std::wstring& Text);
// Whether the Count characters of A from AFrom equal the first Count of B,
// ASCII case ignored; false when either text is too short.
bool SameTextAscii(const std::wstring& A, size_t AFrom, const std::wstring& B, size_t Count);
// Whole texts equal, ASCII case ignored.
bool EqualsTextAscii(const std::wstring& A, const std::wstring& B);
// A hash that texts equal with ASCII case ignored share.
size_t HashTextAscii(const std::wstring& Text);
bool StartsTextAscii(const std::wstring& Text, const std::wstring& Prefix);
// Where Word first stands in Text, ASCII case ignored; npos when nowhere.
size_t FindTextAscii(const std::wstring& Text, const std::wstring& Word);

// The user's locale: full Unicode upper-casing and case-insensitive comparison,
// for matching the protection lists' entries only.
std::wstring UpperCaseLocale(const std::wstring& Text);
bool SameTextLocale(const std::wstring& A, const std::wstring& B);
// Whether Value begins with Prefix, case ignored; a shorter Value never does.
bool StartsTextLocale(const std::wstring& Value, const std::wstring& Prefix);
// The user's locale's sort key of Length characters of Text, case ignored:
// two texts compare equal as the two above compare them exactly when their
// keys are equal, so one key stands for many comparisons. False when none
// can be made.
bool SortKeyLocale(const wchar_t* Text, size_t Length, std::string& Key);

} // namespace tidora
