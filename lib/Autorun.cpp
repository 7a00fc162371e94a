#include "lib/Autorun.h"

#include <shlobj.h>

#include <memory>

#include "system/Handles.h"
#include "system/Path.h"
#include "system/Registry.h"
#include "system/Strings.h"
#include "system/Windows.h"

namespace tidora {
namespace {

// Every source with its written form.
struct TSourceText {
    TAutorunSource Source;
    const wchar_t* Text;
};
const TSourceText kSourceTexts[] = {
    {TAutorunSource::MachineRun, L"HKLM"},    {TAutorunSource::UserRun, L"HKCU"},
    {TAutorunSource::StartupFile, L"FILE"},   {TAutorunSource::ScheduledTask, L"SCHE"},
    {TAutorunSource::Service, L"SERV"},
};

const wchar_t kRunKey[] = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRun32Key[] = L"\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kApprovedRunKey[] = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const wchar_t kApprovedFolderKey[] =
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
const wchar_t kWow6432Node[] = L"Wow6432Node";

// Extensions of the startup-folder files that Windows starts.
const wchar_t* const kStartupExtensions[] = {L".url", L".lnk", L".exe", L".bat", L".cmd", L".com"};

constexpr size_t kApprovedSize = 12;
// QueryServiceConfigW never needs more than this.
constexpr DWORD kServiceConfigSize = 8 * 1024;


// Run values of 32-bit programs are approved under "Run32".
std::wstring ApprovedRunKey(const std::wstring& RunKey) {
    return std::wstring(kApprovedRunKey) + (FindTextAscii(RunKey, kWow6432Node) != std::wstring::npos ? L"32" : L"");
}

HKEY FolderRoot(const std::wstring& Folder) {
    return Folder == GetFolderPath(CSIDL_COMMON_STARTUP) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// The StartupApproved values of one source, read through one open key.
class TApprovedValues {
public:
    TApprovedValues(HKEY RootKey, const std::wstring& Key) : FKey(TReg::OpenRead(RootKey, Key)) {}
    bool IsApproved(const std::wstring& Name) const {
        return !FKey || IsStartupApprovedValue(ReadBinaryDef(FKey.get(), Name));
    }

private:
    UniqueHKey FKey;
};

// The program files directly in Folder; their StartupApproved values lie under Root.
void CollectFolderFiles(const std::wstring& Folder, HKEY Root, TAutorunList& List) {
    if (Folder.empty()) return;
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(FindFirstFileW((Folder + L"\\*").c_str(), &data));
    if (!find) return;
    const TApprovedValues approved(Root, kApprovedFolderKey);
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::wstring name = data.cFileName;
        const size_t dot = name.rfind(L'.');
        if (dot == std::wstring::npos) continue;
        const std::wstring extension = name.substr(dot);
        bool starts = false;
        for (const wchar_t* e : kStartupExtensions) starts = starts || EqualsTextAscii(extension, e);
        if (!starts) continue;

        TAutorunInfo info;
        info.FileName = Folder + L"\\" + name;
        info.Caption = name.substr(0, dot);
        info.Target = info.FileName;
        info.From = TAutorunSource::StartupFile;
        info.Enabled = approved.IsApproved(name);
        List.push_back(std::move(info));
    } while (FindNextFileW(find.get(), &data));
}

std::wstring BstrText(BSTR Text) {
    return Text ? std::wstring(Text, SysStringLen(Text)) : std::wstring();
}

// ---- the task scheduler connection ----

struct TSchedulerState {
    std::mutex Lock;
    ComPtr<ITaskService> Service;
    // Whether connecting initialised COM on the thread, which must then
    // uninitialise it when disconnecting.
    bool ComInitialized = false;
};

// Lives until the process ends; a scheduler object still held then is released.
std::unique_ptr<TSchedulerState>& SchedulerState() {
    static std::unique_ptr<TSchedulerState> state;
    return state;
}

// Drops the connection when the scope that made it ends, also through an error.
struct TDisconnectOnExit {
    TDisconnectOnExit() = default;
    TDisconnectOnExit(const TDisconnectOnExit&) = delete;
    TDisconnectOnExit& operator=(const TDisconnectOnExit&) = delete;
    ~TDisconnectOnExit() { TaskSchedulerDisconnect(); }
};

} // namespace

const wchar_t* AutorunSourceText(TAutorunSource Source) {
    for (const TSourceText& s : kSourceTexts)
        if (s.Source == Source) return s.Text;
    return L"";
}

bool ParseAutorunSource(const std::wstring& Text, TAutorunSource& Source) {
    for (const TSourceText& s : kSourceTexts) {
        if (EqualsTextAscii(Text, s.Text)) {
            Source = s.Source;
            return true;
        }
    }
    return false;
}

bool TAutorunInfo::operator==(const TAutorunInfo& Other) const {
    return FileName == Other.FileName && Caption == Other.Caption && RawData == Other.RawData &&
           Target == Other.Target && From == Other.From && Enabled == Other.Enabled;
}

EAutorunError::EAutorunError(DWORD Code, const std::wstring& Message)
    : std::runtime_error(WideToUtf8(Message)), FCode(Code), FMessage(Message) {}

// ---- collection ----

void CollectAutorun(TAutorunList& List, const TPlatform& Platform) {
    List.clear();
    CollectStartupFolders(List);
    CollectRunKeys(List, Platform);
    CollectScheduledTasks(List, Platform);
    CollectServices(List);
}

void CollectStartupFolders(TAutorunList& List) {
    // The all-users folder is looked up once for both folders' roots.
    const std::wstring common = GetFolderPath(CSIDL_COMMON_STARTUP);
    const std::wstring user = GetFolderPath(CSIDL_STARTUP);
    CollectFolderFiles(common, HKEY_LOCAL_MACHINE, List);
    CollectFolderFiles(user, user == common ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, List);
}

void CollectStartupFolder(const std::wstring& Folder, TAutorunList& List) {
    if (!Folder.empty()) CollectFolderFiles(Folder, FolderRoot(Folder), List);
}

void CollectRunKeys(TAutorunList& List, const TPlatform& Platform) {
    CollectRunKey(HKEY_LOCAL_MACHINE, kRunKey, List, Platform);
    CollectRunKey(HKEY_LOCAL_MACHINE, kRun32Key, List, Platform);
    CollectRunKey(HKEY_CURRENT_USER, kRunKey, List, Platform);
}

void CollectRunKey(HKEY RootKey, const std::wstring& Key, TAutorunList& List, const TPlatform& Platform) {
    // A Run value's source is written as its root's short name.
    const std::wstring root = RootKeyToName(RootKey, true);
    TAutorunSource from = TAutorunSource::MachineRun;
    if (!ParseAutorunSource(root, from)) return;
    TNamedTexts values;
    if (TReg::ReadStringValues(RootKey, Key, values, Platform) == 0) return;
    const TApprovedValues approved(RootKey, ApprovedRunKey(Key));
    for (auto& [name, text] : values) {
        TAutorunInfo info;
        info.FileName = CommandLineToFile(text);
        info.Caption = name;
        info.RawData = std::move(text);
        info.Target = root + Key + L"\\" + name;
        info.From = from;
        info.Enabled = approved.IsApproved(name);
        List.push_back(std::move(info));
    }
}

void CollectScheduledTasks(TAutorunList& List, const TPlatform& Platform) {
    const std::unique_lock<std::mutex> lock = LockTaskScheduler();
    if (!lock.owns_lock()) return;
    TDisconnectOnExit disconnect;
    TaskSchedulerConnect(Platform);
    // A failure ends the listing; what was listed before it stays.
    if (ITaskService* service = ConnectedTaskScheduler()) CollectTaskFolder(service, L"\\", List);
}

HRESULT CollectTaskFolder(ITaskService* Service, const std::wstring& FolderPath, TAutorunList& List) {
    if (!Service) return E_POINTER;
    UniqueBstr path(SysAllocString(FolderPath.c_str()));
    if (!path) return E_OUTOFMEMORY;
    ComPtr<ITaskFolder> folder;
    HRESULT hr = Service->GetFolder(path.get(), folder.put());
    if (FAILED(hr)) return hr;
    if (!folder) return E_POINTER;
    // Flags 0: the folder's own tasks without the hidden ones.
    ComPtr<IRegisteredTaskCollection> tasks;
    hr = folder.get()->GetTasks(0, tasks.put());
    if (FAILED(hr)) return hr;
    if (!tasks) return E_POINTER;
    LONG count = 0;
    hr = tasks.get()->get_Count(&count);
    if (FAILED(hr)) return hr;

    std::wstring prefix = FolderPath;
    if (!prefix.empty() && prefix.back() == L'\\') prefix.pop_back();
    for (LONG index = 1; index <= count; ++index) {
        VARIANT item;
        VariantInit(&item);
        item.vt = VT_I4;
        item.lVal = index;
        ComPtr<IRegisteredTask> task;
        hr = tasks.get()->get_Item(item, task.put());
        if (FAILED(hr)) return hr;
        if (!task) return E_POINTER;
        UniqueBstr name;
        hr = task.get()->get_Name(name.put());
        if (FAILED(hr)) return hr;
        VARIANT_BOOL enabled = VARIANT_TRUE;
        hr = task.get()->get_Enabled(&enabled);
        if (FAILED(hr)) return hr;

        TAutorunInfo info;
        info.Caption = BstrText(name.get());
        info.Target = prefix + L"\\" + info.Caption;
        info.From = TAutorunSource::ScheduledTask;
        info.Enabled = enabled != VARIANT_FALSE;
        List.push_back(std::move(info));
    }
    return S_OK;
}

void CollectServices(TAutorunList& List) {
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager) return;
    DWORD needed = 0, count = 0, resume = 0;
    if (EnumServicesStatusW(manager.get(), SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &needed, &count, &resume))
        return;  // nothing to list
    const DWORD sizing = GetLastError();
    if (sizing != ERROR_INSUFFICIENT_BUFFER && sizing != ERROR_MORE_DATA) return;

    // Whole elements, so the records are aligned; the texts follow them.
    std::vector<ENUM_SERVICE_STATUSW> services(needed / sizeof(ENUM_SERVICE_STATUSW) + 1);
    std::vector<uint64_t> config(kServiceConfigSize / sizeof(uint64_t));
    resume = 0;
    // A list that grew since the sizing call, or one beyond what a single call
    // returns, comes in more than one part, continued from the resume point.
    for (int part = 0; part < 64; ++part) {
        const DWORD bytes = static_cast<DWORD>(services.size() * sizeof(ENUM_SERVICE_STATUSW));
        const BOOL done = EnumServicesStatusW(manager.get(), SERVICE_WIN32, SERVICE_STATE_ALL, services.data(), bytes,
                                              &needed, &count, &resume);
        const DWORD error = done ? ERROR_SUCCESS : GetLastError();
        if (!done && error != ERROR_MORE_DATA) return;
        for (DWORD i = 0; i < count; ++i) {
            const ENUM_SERVICE_STATUSW& status = services[i];
            UniqueServiceHandle service(OpenServiceW(manager.get(), status.lpServiceName, SERVICE_QUERY_CONFIG));
            if (!service) continue;
            // One call for nearly every service: the buffer holds the largest
            // configuration the system documents; a larger answer is asked once more.
            DWORD size = static_cast<DWORD>(config.size() * sizeof(uint64_t));
            auto* info = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config.data());
            if (!QueryServiceConfigW(service.get(), info, size, &size)) {
                const DWORD queryError = GetLastError();
                if (queryError != ERROR_INSUFFICIENT_BUFFER) continue;
                config.resize(size / sizeof(uint64_t) + 1);
                info = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config.data());
                if (!QueryServiceConfigW(service.get(), info, size, &size)) continue;
            }
            TAutorunInfo entry;
            entry.FileName = info->lpBinaryPathName ? info->lpBinaryPathName : L"";
            entry.Caption = status.lpDisplayName ? status.lpDisplayName : L"";
            entry.RawData = entry.FileName;
            entry.Target = status.lpServiceName ? status.lpServiceName : L"";
            entry.From = TAutorunSource::Service;
            entry.Enabled = info->dwStartType == SERVICE_AUTO_START;
            List.push_back(std::move(entry));
        }
        if (done) return;
        const size_t wanted = needed / sizeof(ENUM_SERVICE_STATUSW) + 1;
        if (wanted > services.size()) services.resize(wanted);
        else if (count == 0) return;  // no progress: give up rather than spin
    }
}

bool IsStartupApprovedValue(const std::vector<uint8_t>& Value) {
    return !(Value.size() == kApprovedSize && (Value[0] & 1));
}

bool IsStartupApproved(HKEY RootKey, const std::wstring& Key, const std::wstring& Name) {
    return IsStartupApprovedValue(TReg::ReadBinary(RootKey, Key, Name));
}

// ---- the task scheduler connection ----

void InitTaskSchedulerLock() {
    if (!SchedulerState()) SchedulerState() = std::make_unique<TSchedulerState>();
}

std::unique_lock<std::mutex> LockTaskScheduler() {
    const auto& state = SchedulerState();
    return state ? std::unique_lock<std::mutex>(state->Lock) : std::unique_lock<std::mutex>();
}

void TaskSchedulerConnect(const TPlatform& Platform) {
    TSchedulerState* state = SchedulerState().get();
    if (!state || state->Service) return;

    // The UI thread is a single-threaded apartment already (RPC_E_CHANGED_MODE)
    // and is left as it is. S_FALSE counts as an initialisation too: COM wants
    // every successful call balanced.
    UniqueComInit com(COINIT_MULTITHREADED);
    if (!com && com.result() != RPC_E_CHANGED_MODE) return;

    const HRESULT security = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT,
                                                  RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    if (FAILED(security) && security != RPC_E_TOO_LATE) return;

    // Declared after com: on the way out it is released before COM goes
    // away on this thread.
    ComPtr<ITaskService> service;
    if (!Platform.CreateTaskService || FAILED(Platform.CreateTaskService(service.put())) || !service) return;
    VARIANT none;
    VariantInit(&none);
    if (FAILED(service.get()->Connect(none, none, none, none))) return;
    state->Service = std::move(service);
    // The balancing call is the disconnect's, on this thread.
    state->ComInitialized = com.release();
}

void TaskSchedulerDisconnect() {
    TSchedulerState* state = SchedulerState().get();
    if (!state || !state->Service) return;
    state->Service.reset();
    if (state->ComInitialized) {
        state->ComInitialized = false;
        CoUninitialize();
    }
}

ITaskService* ConnectedTaskScheduler() {
    const auto& state = SchedulerState();
    return state ? state->Service.get() : nullptr;
}

// ---- switching ----

void SwitchAutorun(const std::wstring& Target, TAutorunSource From, bool Enable, const TPlatform& Platform) {
    switch (From) {
    case TAutorunSource::StartupFile: SwitchStartupFile(Target, Enable, Platform); break;
    case TAutorunSource::ScheduledTask: SwitchScheduledTask(Target, Enable, Platform); break;
    case TAutorunSource::Service: SwitchService(Target, Enable); break;
    default: SwitchRunValue(Target, Enable, Platform); break;  // the Run values
    }
}

void SwitchRunValue(const std::wstring& Target, bool Enable, const TPlatform& Platform) {
    HKEY root = nullptr;
    std::wstring key, name;
    if (!TReg::Parse(Target, root, key, name)) return;
    if (Platform.Windows10OrLater()) {
        TReg::WriteBinary(root, ApprovedRunKey(key), name, MakeStartupApprovedValue(Enable));
    } else if (!Enable) {
        // Only ever the value: a Run key's subkey of the same name stays.
        TReg::DeleteValue(root, key, name);
    }
}

void SwitchStartupFile(const std::wstring& Target, bool Enable, const TPlatform& Platform) {
    if (Platform.Windows10OrLater()) {
        const size_t slash = Target.rfind(L'\\');
        const std::wstring folder = slash == std::wstring::npos ? std::wstring() : Target.substr(0, slash);
        TReg::WriteBinary(FolderRoot(folder), kApprovedFolderKey, FileNamePart(Target),
                          MakeStartupApprovedValue(Enable));
        return;
    }
    if (Enable || Target.empty()) return;
    if (DeleteFileW(Target.c_str())) return;
    const DWORD error = GetLastError();
    // Gone already: the entry is off, which is what was asked for.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    throw EAutorunError(error, SystemErrorMessage(error) + L" (" + Target + L")");
}

void SwitchScheduledTask(const std::wstring& Target, bool Enable, const TPlatform& Platform) {
    const std::unique_lock<std::mutex> lock = LockTaskScheduler();
    if (!lock.owns_lock()) return;
    TDisconnectOnExit disconnect;
    TaskSchedulerConnect(Platform);
    ITaskService* service = ConnectedTaskScheduler();
    if (!service) return;
    UniqueBstr root(SysAllocString(L"\\"));
    UniqueBstr path(SysAllocString(Target.c_str()));
    if (!root || !path) return;
    ComPtr<ITaskFolder> folder;
    if (FAILED(service->GetFolder(root.get(), folder.put())) || !folder) return;
    ComPtr<IRegisteredTask> task;
    if (FAILED(folder.get()->GetTask(path.get(), task.put())) || !task) return;
    task.get()->put_Enabled(Enable ? VARIANT_TRUE : VARIANT_FALSE);
}

void SwitchService(const std::wstring& Target, bool Enable) {
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return;
    UniqueServiceHandle service(OpenServiceW(manager.get(), Target.c_str(), SERVICE_CHANGE_CONFIG | SERVICE_STOP));
    if (!service) return;
    ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, Enable ? SERVICE_AUTO_START : SERVICE_DISABLED,
                         SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

std::vector<uint8_t> MakeStartupApprovedValue(bool Enable) {
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME stamp{};
    SystemTimeToFileTime(&now, &stamp);
    std::vector<uint8_t> value(kApprovedSize, 0);
    value[0] = Enable ? 2 : 3;
    const uint64_t bits = (static_cast<uint64_t>(stamp.dwHighDateTime) << 32) | stamp.dwLowDateTime;
    for (int i = 0; i < 8; ++i) value[4 + i] = static_cast<uint8_t>(bits >> (8 * i));
    return value;
}

} // namespace tidora
