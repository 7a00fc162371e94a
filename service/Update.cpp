#include "service/Update.h"

#include <windows.h>

#include <cstdio>
#include <random>
#include <thread>
#include <vector>

#include "service/Service.h"
#include "system/Handles.h"
#include "system/Registry.h"
#include "system/Strings.h"
#include "system/Sync.h"
#include "system/Windows.h"
#include "ui/Translate.h"

namespace tidora {
namespace {

constexpr wchar_t kUserKey[] = L"Software\\Quenby";
constexpr wchar_t kUserValue[] = L"QUID";
constexpr wchar_t kServiceAgent[] = L"Mozilla/5.0 (Windows NT 10.0; Win64; x64)";
constexpr int kAttempts = 6;

// Nothing in the program switches on the leak report at exit.
constexpr bool kDebugFlag = false;

// Locks without destructors: detached threads may still hold them while the
// process ends.
class TSrwGuard {
public:
    explicit TSrwGuard(SRWLOCK& Lock) : FLock(Lock) { AcquireSRWLockExclusive(&FLock); }
    ~TSrwGuard() { ReleaseSRWLockExclusive(&FLock); }
    TSrwGuard(const TSrwGuard&) = delete;
    TSrwGuard& operator=(const TSrwGuard&) = delete;

private:
    SRWLOCK& FLock;
};

SRWLOCK gUserIdLock = SRWLOCK_INIT;
SRWLOCK gRandomLock = SRWLOCK_INIT;

std::mt19937& Random() {
    // Seeded once, from the clock, the first time an id is made.
    static std::mt19937* generator = new std::mt19937(static_cast<unsigned>(GetTickCount64() ^ GetCurrentProcessId()));
    return *generator;
}

std::wstring Hex(unsigned Value, int Digits) {
    wchar_t buffer[16];
    swprintf(buffer, 16, L"%0*X", Digits, Value);
    return buffer;
}

std::wstring TwoDigits(unsigned Value) {
    wchar_t buffer[8];
    swprintf(buffer, 8, L"%02u", Value % 100);
    return buffer;
}

// The UI step of the conversation: prompt, status line, callback.
void FinishUpdate(const TPlatform& Platform, const TUpdateHooks& Windows, const TUpdateProc& AProc,
                  int DialogOffset, const std::wstring& Data) {
    bool accepted = false;
    const std::wstring update = ReplyValue(Data, L"update");
    // Yes would only open the address; an address the shell must not be
    // handed makes the prompt pointless, so none is shown.
    if (IsWebAddress(update) && Windows.UpdateDialog && Windows.UpdateDialog(Data, DialogOffset)) {
        ShellOpenUrl(update, Platform);
        accepted = true;
    }
    const std::wstring notify = ReplyValue(Data, L"notify");
    if (IsWebAddress(notify) && Windows.ShowUpdateStatus) Windows.ShowUpdateStatus(notify);
    if (AProc) AProc(accepted, Data);
}

} // namespace

void CheckUpdate(const TService& Service, const TPlatform& Platform, TUpdateHooks Windows, TUpdateProc AProc,
                 int DialogOffset) {
    // The thread keeps copies: it may outlive whoever started it.
    std::thread([Service, Platform, Windows = std::move(Windows), AProc = std::move(AProc), DialogOffset] {
        try {
            const THeaderList headers = InitHeaders();
            std::wstring data;
            for (int attempt = 0; attempt < kAttempts; ++attempt) {
                std::wstring reply;
                if (RequestService(Service, headers, reply)) {
                    data = std::move(reply);
                    break;
                }
                if (Service.RetryPause) Service.RetryPause();
            }
            Synchronize([&] { FinishUpdate(Platform, Windows, AProc, DialogOffset, data); });
        } catch (...) {
            // A thread of its own has nobody to report to; the program goes on.
        }
    }).detach();
}

std::wstring UpdateText(int Kind) {
    struct TRow {
        const wchar_t* Language;
        const wchar_t* Prompt[3];
        const wchar_t* Status;
        const wchar_t* Yes;
        const wchar_t* No;
    };
    static const TRow kRows[] = {
        {L"ko",
         {L"업데이트 정보가 있습니다.", L"안정적으로 사용하기 위해 업데이트를 하시길 권장합니다.",
          L"다운로드 받으시겠습니까?"},
         L"업데이트 가능", L"예", L"아니오"},
        {L"ja",
         {L"このプログラムがアップデートされました。",
          L"安定的に使用するために新しくダウンロード\u00B7実行することをお勧めします。", L"ダウンロードしますか。"},
         L"アップデート可", L"はい", L"いいえ"},
        {L"zh", {L"该程序已更新。", L"建议下载并执行新程序以稳定使用。", L"您要下载吗？"}, L"可更新", L"是", L"否"},
        {L"de",
         {L"Dieses Programm ist aktualisiert worden.",
          L"Es wird empfohlen, es herunterzuladen und neu auszuführen, um es stabil zu verwenden.",
          L"Möchten Sie es herunterladen?"},
         L"Update möglich", L"Ja", L"Nein"},
        {L"ru",
         {L"Данная программа была обновлена.",
          L"Рекомендуется скачать и выполнить новое для стабильного использования.", L"Вы хотите загрузить ее?"},
         L"Обновление", L"Да", L"Нет"},
        {L"it",
         {L"È disponibile una nuova versione del programma.", L"Ti suggeriamo di scaricare ed aggiornare il programma.",
          L"Vuoi scaricare la nuova versione del programma?"},
         L"Aggiornabile", L"Sì", L"No"},
        {L"fr",
         {L"Ce programme a été mis à jour.",
          L"Il est recommandé de télécharger et d'exécuter la nouvelle version pour une utilisation stable.",
          L"Voulez-vous le télécharger?"},
         L"Maj dispo", L"Oui", L"Non"},
        {nullptr,
         {L"This program has been updated.", L"It is recommended to download and execute new for stable use.",
          L"Do you want to download it?"},
         L"Update available", L"Yes", L"No"},
    };
    const std::wstring& language = CurrentLanguage();
    const TRow* row = kRows;
    while (row->Language && language != row->Language) ++row;
    switch (Kind) {
    case utPrompt: return std::wstring(row->Prompt[0]) + L"\r\r" + row->Prompt[1] + L"\r\r" + row->Prompt[2];
    case utStatus: return row->Status;
    case utYes: return row->Yes;
    case utNo: return row->No;
    default: return {};
    }
}

std::wstring NewUserID() {
    unsigned first, second, third;
    {
        TSrwGuard guard(gRandomLock);
        std::uniform_int_distribution<unsigned> big(0, 2147483646u);
        std::uniform_int_distribution<unsigned> small(0, 0xFFFEu);
        first = big(Random());
        second = small(Random());
        third = big(Random());
    }
    SYSTEMTIME date{}, time{};
    GetLocalTime(&date);
    const std::wstring day = TwoDigits(date.wYear) + TwoDigits(date.wMonth) + TwoDigits(date.wDay);
    GetLocalTime(&time);
    const std::wstring clock = TwoDigits(time.wHour) + TwoDigits(time.wMinute) + TwoDigits(time.wSecond);
    return Hex(first, 8) + day + Hex(second, 4) + clock + Hex(third, 8);
}

std::wstring GetUserID() {
    // The update thread and the cleaning worker may both get here first; the
    // one id must be written once, not once each.
    TSrwGuard guard(gUserIdLock);
    UniqueHKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kUserKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                        nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return {};
    LSTATUS status = RegQueryValueExW(key.get(), kUserValue, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_FILE_NOT_FOUND) {
        const std::wstring id = NewUserID();
        if (RegSetValueExW(key.get(), kUserValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(id.c_str()),
                           static_cast<DWORD>((id.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
            return {};
    } else if (status != ERROR_SUCCESS) {
        return {};
    }
    return ReadStringDef(key.get(), kUserValue, L"");
}

std::wstring GetAppVersion(const std::wstring& Format) {
    unsigned parts[4] = {0, 0, 0, 0};
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) {
            path.clear();
            break;
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    DWORD ignored = 0;
    DWORD size = path.empty() ? 0 : GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size) {
        std::vector<BYTE> data(size);
        VS_FIXEDFILEINFO* info = nullptr;
        UINT infoSize = 0;
        if (GetFileVersionInfoW(path.c_str(), 0, size, data.data()) &&
            VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) && info &&
            infoSize >= sizeof(VS_FIXEDFILEINFO)) {
            parts[0] = HIWORD(info->dwFileVersionMS);
            parts[1] = LOWORD(info->dwFileVersionMS);
            parts[2] = HIWORD(info->dwFileVersionLS);
            parts[3] = LOWORD(info->dwFileVersionLS);
        }
    }
    // Only "%d" and "%%" are understood: a format is never handed to printf.
    std::wstring out;
    size_t next = 0;
    for (size_t i = 0; i < Format.size(); ++i) {
        if (Format[i] == L'%' && i + 1 < Format.size() && Format[i + 1] == L'd') {
            out += next < 4 ? std::to_wstring(parts[next++]) : L"";
            ++i;
        } else if (Format[i] == L'%' && i + 1 < Format.size() && Format[i + 1] == L'%') {
            out += L'%';
            ++i;
        } else {
            out += Format[i];
        }
    }
    return out;
}

bool RequestService(const TService& Service, const THeaderList& Headers, std::wstring& Reply) {
    TTransportClient client;
    client.SetHeader(L"User-Agent", kServiceAgent);
    for (const auto& header : Headers) client.SetHeader(header.first, header.second);
    TTransportRequest request;
    request.URL = Service.Address(kInitPath);
    TTransportResponse response;
    std::wstring error;
    if (!client.Execute(request, response, error)) return false;
    Reply = CodePageToWide(reinterpret_cast<const char*>(response.Body.data()), response.Body.size(), CP_UTF8);
    return true;
}

THeaderList InitHeaders() {
    return {{L"User-Version", GetAppVersion(L"%d.%d.%d.%d")},
            {L"User-Language", CurrentLanguage()},
            {L"User-Debug", kDebugFlag ? L"true" : L"false"},
            {L"User-Union", GetUserID()}};
}

THeaderList HoldHeaders() {
    return {{L"User-Version", GetAppVersion(L"%d.%d.%d.%d")}, {L"User-Command", L"hold"}};
}

void StartHoldNotice(const TService& Service) {
    std::thread([Service] {
        try {
            std::wstring ignored;
            RequestService(Service, HoldHeaders(), ignored);
        } catch (...) {
            // The notice is a courtesy to the service; failing it changes nothing.
        }
    }).detach();
}

std::wstring ReplyValue(const std::wstring& Data, const std::wstring& Key) {
    return JsonUnescape(ExtractBetween(Data, L"\"" + Key + L"\":\"", L"\""));
}

TUpdateNotice ReplyNotice(const std::wstring& Data) {
    const std::wstring info = ExtractBetween(Data, L"\"info\":{", L"}");
    return {ReplyValue(info, L"style"), ReplyValue(info, L"text"), ReplyValue(info, L"flag"), ReplyValue(info, L"url")};
}

} // namespace tidora
