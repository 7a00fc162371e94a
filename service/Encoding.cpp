#include "service/Encoding.h"

#include <windows.h>
#include <zlib.h>

#include "service/HttpText.h"
#include "system/Strings.h"

namespace tidora {

std::wstring DecodeCharSet(const std::vector<uint8_t>& Bytes, const std::wstring& CharSet) {
    const char* data = reinterpret_cast<const char*>(Bytes.data());
    if (CharSet == L"utf-8") return CodePageToWide(data, Bytes.size(), CP_UTF8);
    // EUC-KR proper (51949) where the system has it, else its superset 949,
    // which decodes every EUC-KR text the same.
    static const bool hasEucKr = IsValidCodePage(51949) != FALSE;
    return CodePageToWide(data, Bytes.size(), hasEucKr ? 51949 : 949);
}

bool InflateGzip(const std::vector<uint8_t>& Input, std::vector<uint8_t>& Output, size_t Limit, std::wstring& Error) {
    Output.clear();
    if (Input.empty()) return true;
    z_stream z{};
    if (inflateInit2(&z, 31) != Z_OK) {
        Error = L"The gzip inflater could not start";
        return false;
    }
    struct End {
        z_stream* Stream;
        ~End() { inflateEnd(Stream); }
    } end{&z};
    z.next_in = const_cast<Bytef*>(Input.data());
    z.avail_in = static_cast<uInt>(Input.size());
    const size_t kChunk = 1u << 20;
    for (;;) {
        const size_t held = Output.size();
        // One byte past the limit is room enough to know the body is too large.
        size_t room = kChunk;
        if (Limit && held + room > Limit + 1) room = Limit + 1 - held;
        Output.resize(held + room);
        z.next_out = Output.data() + held;
        z.avail_out = static_cast<uInt>(room);
        int result = inflate(&z, Z_NO_FLUSH);
        Output.resize(held + room - z.avail_out);
        if (Limit && Output.size() > Limit) {
            Output.clear();
            Output.shrink_to_fit();
            Error = kBodyTooLarge;
            return false;
        }
        if (result == Z_STREAM_END) return true;
        if (result != Z_OK) {
            Output.clear();
            Error = L"Corrupt gzip data: " + Utf8ToWide(z.msg ? z.msg : "the body ends early");
            return false;
        }
    }
}

} // namespace tidora
