// The service's replies are hostile input: whatever arrives, the readers of a
// reply (gzip inflation, the charset decision and decoding, the cutting of
// single values, the JSON merge of the three lists) answer with a default,
// raise nothing past themselves and keep memory within the body cap.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>
#include <zlib.h>

#include <nlohmann/json.hpp>

#include <random>
#include <string>
#include <vector>

#include "lib/Common.h"
#include "service/Encoding.h"
#include "service/HttpText.h"
#include "system/Stream.h"
#include "system/Strings.h"

using namespace tidora;

namespace {

// Text as gzip, Repeat times over, compressed in a stream so that a bomb
// never exists uncompressed here.
std::vector<uint8_t> Gzip(const std::string& Text, size_t Repeat = 1) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<uint8_t> out;
    uint8_t chunk[1 << 16];
    for (size_t i = 0; i < Repeat; ++i) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Text.data()));
        z.avail_in = static_cast<uInt>(Text.size());
        const int flush = i + 1 == Repeat ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = chunk;
            z.avail_out = sizeof(chunk);
            deflate(&z, flush);
            out.insert(out.end(), chunk, chunk + (sizeof(chunk) - z.avail_out));
        } while (z.avail_out == 0 || (flush == Z_FINISH && z.avail_in > 0));
    }
    deflateEnd(&z);
    return out;
}

// Flips, overwrites, inserts, deletes and cuts bytes, a few at a time.
template <typename Bytes>
void Corrupt(Bytes& Data, std::mt19937& Random) {
    const int edits = 1 + static_cast<int>(Random() % 4);
    for (int e = 0; e < edits && !Data.empty(); ++e) {
        const size_t at = Random() % Data.size();
        switch (Random() % 5) {
        case 0: Data[at] ^= static_cast<typename Bytes::value_type>(1u << (Random() % 8)); break;
        case 1: Data[at] = static_cast<typename Bytes::value_type>(Random()); break;
        case 2: Data.insert(Data.begin() + at, static_cast<typename Bytes::value_type>(Random())); break;
        case 3: Data.erase(Data.begin() + at); break;
        default: Data.resize(at); break;
        }
    }
}

size_t PeakPrivateBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)) ? counters.PeakPagefileUsage : 0;
}

// Everything a reply meets on its way in, as the program reads it.
void ReadReply(const std::vector<uint8_t>& Body, bool Gzipped) {
    std::vector<uint8_t> bytes = Body;
    if (Gzipped) {
        std::wstring error;
        std::vector<uint8_t> inflated;
        if (!InflateGzip(Body, inflated, kMaxBodySize, error)) {
            EXPECT_FALSE(error.empty());
            return;
        }
        EXPECT_LE(inflated.size(), kMaxBodySize);
        bytes = std::move(inflated);
    }
    TMemoryStream stream{std::vector<uint8_t>(bytes)};
    const std::wstring text = DecodeCharSet(bytes, IsUtf8Text(stream, 4000) ? L"utf-8" : L"euc-kr");
    ExtractBetween(text, L"\"pk\":\"", L"\"");
    JsonUnescape(ExtractBetween(text, L"\"update\":\"", L"\""));
    ExtractBetween(text, L"\"info\":{", L"}");
    const nlohmann::json reply = nlohmann::json::parse(WideToUtf8(text), nullptr, false);
    TStringList lists[3];
    MergeJsonList(lists[0], reply, "file_white");
    MergeJsonList(lists[1], reply, "name_white");
    MergeJsonList(lists[2], reply, "name_black");
}

TEST(HostileReplies, CorruptTruncatedBombsAndDeepNestingStayInsideTheReaders) {
    const std::string good =
        R"({"file_white":["zz_added.exe*","SVCHOST.EXE*"],"name_white":["ZzService"],"name_black":["Zz Plugin"],)"
        R"("pk":"AbC123","update":"https:\/\/service.tidora.example\/u","info":{"title":"\uD2F0\uB3C4\uB77C"}})";
    const std::vector<uint8_t> plain(good.begin(), good.end());
    const std::vector<uint8_t> zipped = Gzip(good);
    const size_t before = PeakPrivateBytes();

    std::mt19937 random(20261211);
    for (int round = 0; round < 600; ++round) {
        std::vector<uint8_t> body = round % 2 ? zipped : plain;
        Corrupt(body, random);
        EXPECT_NO_THROW(ReadReply(body, round % 2 != 0)) << "round " << round;
    }

    // 256 MiB of zeros in some 256 KiB: inflation stops at the cap.
    const std::vector<uint8_t> bomb = Gzip(std::string(1 << 20, '\0'), 256);
    EXPECT_LT(bomb.size(), 1u << 20);
    std::vector<uint8_t> out;
    std::wstring error;
    EXPECT_FALSE(InflateGzip(bomb, out, kMaxBodySize, error));
    EXPECT_EQ(error, kBodyTooLarge);
    EXPECT_LE(out.size(), kMaxBodySize + 1);
    out = std::vector<uint8_t>();

    // An array nested 100,000 deep, as the list of a reply and as the reply.
    const size_t depth = 100000;
    const std::string deep = std::string(depth, '[') + std::string(depth, ']');
    const std::string nested = R"({"file_white":)" + deep + "}";
    EXPECT_NO_THROW(ReadReply(std::vector<uint8_t>(nested.begin(), nested.end()), false));
    EXPECT_NO_THROW(ReadReply(std::vector<uint8_t>(deep.begin(), deep.end()), false));
    EXPECT_NO_THROW(ReadReply(Gzip(nested), true));

    // The cap and the readers' own copies, not the bomb, bound the memory.
    if (before) {
        EXPECT_LT(PeakPrivateBytes() - before, size_t(160) << 20);
    }
}

} // namespace
