#pragma once
// The start-up conversation with the web service (is there a newer version,
// a notice, additions to the protection lists), the per-installation user id
// and the program's version text. The update prompt and the status line
// (service/UpdateDialog, made of ui's widgets) show on the main window, which
// hands them to CheckUpdate.
#include <functional>
#include <string>

#include "service/HTTP.h"
#include "service/Service.h"
#include "system/Platform.h"

namespace tidora {

enum TUpdateTextKind { utPrompt = 0, utStatus = 1, utYes = 2, utNo = 3 };

// Called once on the UI thread when the conversation ends: whether the user
// accepted the update (its address has then been opened) and the reply text,
// "" when none came.
using TUpdateProc = std::function<void(bool Accepted, const std::wstring& Data)>;

// What the main window supplies. Both run on the UI thread.
struct TUpdateHooks {
    // The update prompt for a reply; true when the user chose Yes. Unset: no
    // prompt, and the update is not taken.
    std::function<bool(const std::wstring& Data, int DialogOffset)> UpdateDialog;
    // Shows or updates the main window's status line pointing at URL.
    std::function<void(const std::wstring& URL)> ShowUpdateStatus;
};

// Starts the conversation with Service on its own thread and returns at once.
// Windows shows the prompt and the status line; an accepted update's address
// is opened through Platform. DialogOffset is subtracted from the prompt's
// layout distances.
void CheckUpdate(const TService& Service, const TPlatform& Platform, TUpdateHooks Windows, TUpdateProc AProc,
                 int DialogOffset);

// The prompt's texts in the current language (English for languages without
// a row); "" for an unknown kind.
std::wstring UpdateText(int Kind);

// The user id, created on first use and kept under HKCU\Software\Quenby as
// "QUID"; "" when the registry cannot be used. Safe on any thread.
std::wstring GetUserID();
// A new id: 32 characters of random hexadecimal digits, the date and the time.
std::wstring NewUserID();

// The version of the program's own file with Format's "%d"s filled in as
// major, minor, release and build; "0.0.0.0" when it has none.
std::wstring GetAppVersion(const std::wstring& Format);

// One GET of Service's init endpoint with these headers and the short user
// agent. True when any response arrived (its status is not looked at); Reply
// is its body as UTF-8 text. On failure Reply is left alone.
bool RequestService(const TService& Service, const THeaderList& Headers, std::wstring& Reply);

// The service headers of the update check, in the order they are sent.
THeaderList InitHeaders();
// The hold notice's headers: the version and the command "hold", nothing else.
THeaderList HoldHeaders();
// Sends the hold notice to Service once on its own thread; its outcome is
// ignored.
void StartHoldNotice(const TService& Service);

// A string member of a compact JSON reply, cut out of the text and unescaped;
// "" when missing.
std::wstring ReplyValue(const std::wstring& Data, const std::wstring& Key);

// The notice inside the update prompt: the members of the reply's "info".
struct TUpdateNotice {
    std::wstring Style, Text, Flag, Url;
};
TUpdateNotice ReplyNotice(const std::wstring& Data);

} // namespace tidora
