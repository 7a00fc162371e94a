#include "app/Report.h"

#include <string>
#include <string_view>

#include "service/HTTP.h"
#include "service/Service.h"
#include "service/Update.h"
#include "system/Memory.h"
#include "system/Path.h"
#include "system/Strings.h"
#include "system/Sync.h"
#include "system/Windows.h"

namespace tidora {
namespace {

// The report's text, written by one walk over the records into a Sink: once
// to measure it, once to write it. Posted, it goes out in pieces of a fixed
// size, so the body is never held whole and the time per record does not grow
// with the report (a buffer of the whole body would be fresh memory the system
// hands out page by page); no record makes a text of its own on the way.
template <typename TSink>
void WriteReport(const TUsageReport& Report, TSink& Sink) {
    auto member = [&](const char* Key, bool First) {
        Sink.Raw(First ? "\"" : ",\"");
        Sink.Raw(Key);
        Sink.Raw("\":\"");
    };
    auto text = [&](const char* Key, std::wstring_view Value) {
        member(Key, false);
        Sink.Escaped(Value);
        Sink.Raw("\"");
    };
    auto number = [&](const char* Key, long long Value) {
        member(Key, false);
        Sink.Raw(std::to_string(Value).c_str());
        Sink.Raw("\"");
    };
    Sink.Raw("[{\"cate\":\"memory\"");
    number("old", Report.OldAvail);
    number("new", Report.NewAvail);
    number("tot", Report.Total);
    Sink.Raw("}");
    for (const TReportProcess& process : Report.Processes) {
        Sink.Raw(",{\"cate\":\"clean\"");
        member("file", false);
        size_t folder = 0;
        const std::wstring* placeholder = ShortenedPrefix(process.FileName, folder);
        if (placeholder) Sink.Escaped(*placeholder);
        Sink.Escaped(std::wstring_view(process.FileName).substr(placeholder ? folder : 0));
        Sink.Raw("\"");
        number("state", static_cast<int32_t>(process.State));
        Sink.Raw("}");
    }
    if (Report.HasStartupPage) {
        for (const TReportStartup& entry : Report.Startup) {
            Sink.Raw(",{\"cate\":\"start\"");
            text("item", entry.Target);
            text("from", AutorunSourceText(entry.From));
            Sink.Raw("}");
        }
    }
    if (Report.HasInstallPage) {
        for (const TReportInstall& program : Report.Install) {
            Sink.Raw(",{\"cate\":\"install\"");
            text("displayname", program.DisplayName);
            text("publisher", program.Publisher);
            Sink.Raw("}");
        }
    }
    Sink.Raw("]");
}

struct TMeasure {
    size_t Length = 0;
    void Raw(const char* Text) { Length += std::char_traits<char>::length(Text); }
    void Escaped(std::wstring_view Text) { Length += JsonEscapedLength(Text); }
};

struct TWrite {
    std::string& Out;
    void Raw(const char* Text) { Out += Text; }
    void Escaped(std::wstring_view Text) { AppendJsonEscaped(Out, Text); }
};

// Small enough to stay in the processor's cache, large enough that WinHTTP
// sees few calls.
constexpr size_t kReportPiece = 64 * 1024;

struct TPieces {
    const TBodyPiece& Send;
    std::string Piece;
    bool Failed = false;

    void Raw(const char* Text) {
        Piece += Text;
        if (Piece.size() >= kReportPiece) Flush();
    }
    void Escaped(std::wstring_view Text) {
        AppendJsonEscaped(Piece, Text);
        if (Piece.size() >= kReportPiece) Flush();
    }
    void Flush() {
        if (!Failed && !Piece.empty()) Failed = !Send(Piece.data(), Piece.size());
        Piece.clear();
    }
};

void SetServiceHeaders(THTTP& Http) {
    Http.SetCustomHeaders(L"User-Version", GetAppVersion(L"%d.%d.%d.%d"));
    Http.SetCustomHeaders(L"User-Union", GetUserID());
}

} // namespace

size_t ReportJsonSize(const TUsageReport& Report) {
    TMeasure measure;
    WriteReport(Report, measure);
    return measure.Length;
}

bool WriteReportJson(const TUsageReport& Report, const TBodyPiece& Send) {
    TPieces pieces{Send, {}};
    pieces.Piece.reserve(kReportPiece + 1024);
    WriteReport(Report, pieces);
    pieces.Flush();
    return !pieces.Failed;
}

std::string BuildReportJson(const TUsageReport& Report) {
    std::string json;
    json.reserve(ReportJsonSize(Report));
    TWrite write{json};
    WriteReport(Report, write);
    return json;
}

std::wstring PostJson(const std::wstring& URL, const std::wstring& Body) {
    return PostJson(URL, WideToUtf8(Body));
}

std::wstring PostJson(const std::wstring& URL, const std::string& Utf8Body) {
    THTTP http;
    SetServiceHeaders(http);
    if (Utf8Body.empty()) return http.Get(URL);
    http.SetContentType(L"application/json");
    return http.Post(URL, Utf8Body);
}

std::wstring PostReport(const std::wstring& URL, const TUsageReport& Report) {
    THTTP http;
    SetServiceHeaders(http);
    http.SetContentType(L"application/json");
    return http.Post(URL, ReportJsonSize(Report), [&Report](const TBodyPiece& Send) {
        return WriteReportJson(Report, Send);
    });
}

std::wstring ReportID(const std::wstring& Reply) {
    return ExtractBetween(Reply, L"\"pk\":\"", L"\"");
}

std::wstring ReportPageURL(const TService& Service, const std::wstring& ID) {
    // An id of URL-safe characters comes out unchanged.
    return Service.Address(kReportPagePath) + PercentEncode(ID);
}

std::wstring SendUsageReport(const TService& Service, const TUsageReport& Report) {
    return ReportID(PostReport(Service.Address(kReportPath), Report));
}

void OpenReportPage(const TService& Service, const std::wstring& ID, const TPlatform& Platform) {
    if (!ID.empty()) ShellOpenUrl(ReportPageURL(Service, ID), Platform);
}

std::vector<TReportStartup> ReportEntries(const TAutorunList& List) {
    std::vector<TReportStartup> entries;
    entries.reserve(List.size());
    for (const TAutorunInfo& info : List) entries.push_back({info.Target, info.From});
    return entries;
}

std::vector<TReportInstall> ReportEntries(const TInstallList& List) {
    std::vector<TReportInstall> entries;
    entries.reserve(List.size());
    for (const TInstallInfo& info : List) entries.push_back({info.DisplayName, info.Publisher});
    return entries;
}

TUsageReport MakeUsageReport(const TCleanRun& Run, TReportPages Pages) {
    TUsageReport report;
    static_cast<TReportPages&>(report) = std::move(Pages);
    report.OldAvail = Run.OldAvailMemory;
    report.NewAvail = GetAvailMemory();
    report.Total = GetTotalMemory();
    report.Processes.reserve(Run.ProcessList.size());
    for (const TProcessInfo& info : Run.ProcessList) report.Processes.push_back({info.FileName, info.State});
    return report;
}

std::function<std::wstring(TCleanRun&)> UsageReportHook(TService Service, std::function<TReportPages()> Pages) {
    return [Service = std::move(Service), Pages = std::move(Pages)](TCleanRun& Run) {
        TReportPages pages;
        if (Pages) Synchronize([&] { pages = Pages(); });
        return SendUsageReport(Service, MakeUsageReport(Run, std::move(pages)));
    };
}

} // namespace tidora
