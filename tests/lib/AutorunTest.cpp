#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "lib/Autorun.h"
#include "system/Handles.h"
#include "system/Path.h"
#include "system/Registry.h"
#include "system/Strings.h"
#include "tests/TestSupport.h"

using namespace tidora;
using tidora::test::UniqueName;

namespace {

const std::wstring kRun = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kRun32 = L"\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kApproved = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";
const std::wstring kApprovedRun = kApproved + L"Run";
const std::wstring kApprovedRun32 = kApproved + L"Run32";
const std::wstring kApprovedFolder = kApproved + L"StartupFolder";

using TBytes = std::vector<uint8_t>;

TBytes Approved(uint8_t State, size_t Size = 12) {
    TBytes value(Size, 0);
    if (Size) value[0] = State;
    return value;
}

// Everything a test puts into the registry, the startup folders and the
// service manager, removed when the test ends, whether it passed or not.
class TScratch {
public:
    TScratch() = default;
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;
    ~TScratch() {
        for (const Value& v : FValues) TReg::DeleteValue(v.Root, v.Key, v.Name);
        for (const Value& k : FKeys) TReg::DeleteKey(k.Root, k.Key, k.Name);
        for (auto it = FFiles.rbegin(); it != FFiles.rend(); ++it) {
            SetFileAttributesW(it->c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(it->c_str())) RemoveDirectoryW(it->c_str());
        }
        UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        for (const std::wstring& name : FServices) {
            UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), DELETE));
            if (service) DeleteService(service.get());
        }
    }

    // Values written through here are removed; so is any value of that name
    // the code under test writes under the same key.
    void Watch(HKEY Root, const std::wstring& Key, const std::wstring& Name) { FValues.push_back({Root, Key, Name}); }
    void WatchKey(HKEY Root, const std::wstring& Key, const std::wstring& Name) { FKeys.push_back({Root, Key, Name}); }

    void Text(HKEY Root, const std::wstring& Key, const std::wstring& Name, const std::wstring& Value) {
        Watch(Root, Key, Name);
        TReg::WriteString(Root, Key, Name, Value);
    }
    void Binary(HKEY Root, const std::wstring& Key, const std::wstring& Name, const TBytes& Value) {
        Watch(Root, Key, Name);
        TReg::WriteBinary(Root, Key, Name, Value);
    }

    std::wstring File(const std::wstring& Folder, const std::wstring& Name, DWORD Attributes = 0) {
        const std::wstring path = Folder + L"\\" + Name;
        FFiles.push_back(path);
        EXPECT_TRUE(test::WriteFileBytes(path, "x")) << testing::PrintToString(path);
        if (Attributes) SetFileAttributesW(path.c_str(), Attributes);
        return path;
    }
    std::wstring Folder(const std::wstring& Parent, const std::wstring& Name) {
        const std::wstring path = Parent + L"\\" + Name;
        FFiles.push_back(path);
        EXPECT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
        return path;
    }

    void Service(const std::wstring& Name, const std::wstring& Display, DWORD Type, DWORD Start,
                 const std::wstring& Binary) {
        UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
        ASSERT_TRUE(manager);
        FServices.push_back(Name);
        UniqueServiceHandle service(CreateServiceW(manager.get(), Name.c_str(), Display.c_str(), SERVICE_ALL_ACCESS,
                                                   Type, Start, SERVICE_ERROR_IGNORE, Binary.c_str(), nullptr,
                                                   nullptr, nullptr, nullptr, nullptr));
        const DWORD error = GetLastError();
        ASSERT_TRUE(service) << "CreateService failed with " << error;
    }

private:
    struct Value {
        HKEY Root;
        std::wstring Key, Name;
    };
    std::vector<Value> FValues, FKeys;
    std::vector<std::wstring> FFiles;
    std::vector<std::wstring> FServices;
};

DWORD StartType(const std::wstring& Name) {
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    UniqueServiceHandle service(OpenServiceW(manager.get(), Name.c_str(), SERVICE_QUERY_CONFIG));
    std::vector<uint64_t> buffer(1024);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    DWORD needed = 0;
    if (!service || !QueryServiceConfigW(service.get(), config, 8192, &needed)) return 0xFFFFFFFF;
    return config->dwStartType;
}

// ---- an in-process task scheduler: Wine's lists no tasks and ignores put_Enabled ----

struct TFakeTask {
    std::wstring Name;
    bool Enabled;
};

// What the fake holds and what was asked of it.
struct TFakeScheduler {
    std::vector<TFakeTask> Tasks;     // the root folder's visible tasks
    HRESULT ConnectResult = S_OK;
    LONG FailingItem = 0;             // an Item index that fails
    std::vector<std::wstring> Calls;  // in order
    std::atomic<int> Alive{0};        // fake objects not yet released
};

template <typename Interface>
class TFakeDispatch : public Interface {
public:
    explicit TFakeDispatch(TFakeScheduler& State) : FState(State) { ++FState.Alive; }
    virtual ~TFakeDispatch() { --FState.Alive; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Out) override {
        if (Iid == IID_IUnknown || Iid == IID_IDispatch || Iid == __uuidof(Interface)) {
            *Out = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *Out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --FRefs;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

protected:
    TFakeScheduler& FState;

private:
    ULONG FRefs = 1;
};

class TFakeRegisteredTask : public TFakeDispatch<IRegisteredTask> {
public:
    TFakeRegisteredTask(TFakeScheduler& State, size_t Index) : TFakeDispatch(State), FIndex(Index) {}
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* Name) override {
        *Name = SysAllocString(FState.Tasks[FIndex].Name.c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* Enabled) override {
        *Enabled = FState.Tasks[FIndex].Enabled ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL Enabled) override {
        FState.Calls.push_back(L"put_Enabled " + FState.Tasks[FIndex].Name + L" " +
                               (Enabled == VARIANT_TRUE ? L"true" : Enabled == VARIANT_FALSE ? L"false" : L"?"));
        FState.Tasks[FIndex].Enabled = Enabled != VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_State(TASK_STATE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Run(VARIANT, IRunningTask**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RunEx(VARIANT, LONG, LONG, BSTR, IRunningTask**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInstances(LONG, IRunningTaskCollection**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LastRunTime(DATE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LastTaskResult(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_NumberOfMissedRuns(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_NextRunTime(DATE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Definition(ITaskDefinition**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Xml(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSecurityDescriptor(LONG, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSecurityDescriptor(BSTR, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stop(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRunTimes(const LPSYSTEMTIME, const LPSYSTEMTIME, DWORD*, LPSYSTEMTIME*) override {
        return E_NOTIMPL;
    }

private:
    size_t FIndex;
};

class TFakeTaskCollection : public TFakeDispatch<IRegisteredTaskCollection> {
public:
    using TFakeDispatch::TFakeDispatch;
    HRESULT STDMETHODCALLTYPE get_Count(LONG* Count) override {
        *Count = static_cast<LONG>(FState.Tasks.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT Index, IRegisteredTask** Task) override {
        *Task = nullptr;
        if (Index.vt != VT_I4) {
            FState.Calls.push_back(L"Item of type " + std::to_wstring(Index.vt));
            return E_INVALIDARG;
        }
        FState.Calls.push_back(L"Item " + std::to_wstring(Index.lVal));
        if (Index.lVal == FState.FailingItem) return E_ACCESSDENIED;
        if (Index.lVal < 1 || Index.lVal > static_cast<LONG>(FState.Tasks.size())) return E_INVALIDARG;
        *Task = new TFakeRegisteredTask(FState, static_cast<size_t>(Index.lVal - 1));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
};

class TFakeFolder : public TFakeDispatch<ITaskFolder> {
public:
    using TFakeDispatch::TFakeDispatch;
    HRESULT STDMETHODCALLTYPE GetTasks(LONG Flags, IRegisteredTaskCollection** Tasks) override {
        FState.Calls.push_back(L"GetTasks " + std::to_wstring(Flags));
        *Tasks = new TFakeTaskCollection(FState);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTask(BSTR Path, IRegisteredTask** Task) override {
        FState.Calls.push_back(std::wstring(L"GetTask ") + Path);
        *Task = nullptr;
        for (size_t i = 0; i < FState.Tasks.size(); ++i)
            if (L"\\" + FState.Tasks[i].Name == Path) {
                *Task = new TFakeRegisteredTask(FState, i);
                return S_OK;
            }
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    HRESULT STDMETHODCALLTYPE get_Name(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFolder(BSTR, ITaskFolder**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFolders(LONG, ITaskFolderCollection**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateFolder(BSTR, VARIANT, ITaskFolder**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteFolder(BSTR, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteTask(BSTR, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterTask(BSTR, BSTR, LONG, VARIANT, VARIANT, TASK_LOGON_TYPE, VARIANT,
                                           IRegisteredTask**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterTaskDefinition(BSTR, ITaskDefinition*, LONG, VARIANT, VARIANT, TASK_LOGON_TYPE,
                                                     VARIANT, IRegisteredTask**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetSecurityDescriptor(LONG, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSecurityDescriptor(BSTR, LONG) override { return E_NOTIMPL; }
};

class TFakeTaskService : public TFakeDispatch<ITaskService> {
public:
    using TFakeDispatch::TFakeDispatch;
    HRESULT STDMETHODCALLTYPE Connect(VARIANT Server, VARIANT User, VARIANT Domain, VARIANT Password) override {
        const bool empty = Server.vt == VT_EMPTY && User.vt == VT_EMPTY && Domain.vt == VT_EMPTY &&
                           Password.vt == VT_EMPTY;
        FState.Calls.push_back(empty ? L"Connect" : L"Connect with arguments");
        return FState.ConnectResult;
    }
    HRESULT STDMETHODCALLTYPE GetFolder(BSTR Path, ITaskFolder** Folder) override {
        FState.Calls.push_back(std::wstring(L"GetFolder ") + Path);
        *Folder = nullptr;
        if (std::wstring(Path) != L"\\") return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        *Folder = new TFakeFolder(FState);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRunningTasks(LONG, IRunningTaskCollection**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE NewTask(DWORD, ITaskDefinition**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Connected(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_TargetServer(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ConnectedUser(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ConnectedDomain(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_HighestVersion(DWORD*) override { return E_NOTIMPL; }
};

// The scheduler object and the Windows version the switches follow come from
// the test's platform.
class AutorunTest : public testing::Test {
protected:
    void UseFakeScheduler() {
        Platform.CreateTaskService = [this](ITaskService** Service) {
            *Service = new TFakeTaskService(Fake);
            return S_OK;
        };
    }

    TScratch Scratch;
    TFakeScheduler Fake;
    TPlatform Platform = RealPlatform();
    void PinWindows10(bool Windows10) {
        Platform.Windows10OrLater = [Windows10] { return Windows10; };
    }
};

const TAutorunInfo* Find(const TAutorunList& List, TAutorunSource From, const std::wstring& Target,
                         size_t* Index = nullptr) {
    for (size_t i = 0; i < List.size(); ++i)
        if (List[i].From == From && List[i].Target == Target) {
            if (Index) *Index = i;
            return &List[i];
        }
    return nullptr;
}

void ExpectEntry(const TAutorunInfo* Info, const TAutorunInfo& Want) {
    ASSERT_NE(Info, nullptr) << testing::PrintToString(AutorunSourceText(Want.From) + (L" " + Want.Target));
    EXPECT_EQ(Info->FileName, Want.FileName);
    EXPECT_EQ(Info->Caption, Want.Caption);
    EXPECT_EQ(Info->RawData, Want.RawData);
    EXPECT_EQ(Info->Target, Want.Target);
    EXPECT_EQ(Info->From, Want.From);
    EXPECT_EQ(Info->Enabled, Want.Enabled) << testing::PrintToString(Want.Target);
}

// The entries that no other test process creates: the machine's own and this
// process's (UniqueName puts the process id into every name).
TAutorunList Stable(const TAutorunList& List) {
    const std::wstring mine = L"_" + std::to_wstring(GetCurrentProcessId()) + L"_";
    TAutorunList stable;
    for (const TAutorunInfo& info : List)
        if (info.Target.find(L"Tidora") == std::wstring::npos || info.Target.find(mine) != std::wstring::npos)
            stable.push_back(info);
    return stable;
}

int SourceRank(TAutorunSource From) {
    switch (From) {
    case TAutorunSource::StartupFile: return 0;
    case TAutorunSource::MachineRun:
    case TAutorunSource::UserRun: return 1;
    case TAutorunSource::ScheduledTask: return 2;
    case TAutorunSource::Service: return 3;
    }
    return -1;
}

// The source of a Run value under Root.
TAutorunSource RunSource(HKEY Root) {
    return Root == HKEY_LOCAL_MACHINE ? TAutorunSource::MachineRun : TAutorunSource::UserRun;
}

uint64_t NowFileTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

uint64_t StampOf(const TBytes& Value) {
    uint64_t stamp = 0;
    for (int i = 7; i >= 0; --i) stamp = (stamp << 8) | Value[4 + i];
    return stamp;
}

constexpr uint64_t kSecond = 10000000;  // FILETIME units

} // namespace

// ---- sources ----

TEST(AutorunSource, EachHasOneWrittenFormThatParsesBackWhateverItsCase) {
    const std::pair<TAutorunSource, std::wstring> forms[] = {
        {TAutorunSource::MachineRun, L"HKLM"},   {TAutorunSource::UserRun, L"HKCU"},
        {TAutorunSource::StartupFile, L"FILE"},  {TAutorunSource::ScheduledTask, L"SCHE"},
        {TAutorunSource::Service, L"SERV"},
    };
    for (const auto& [source, text] : forms) {
        EXPECT_EQ(AutorunSourceText(source), text);
        const std::wstring mixed = text.substr(0, 2) + LowerCaseAscii(text.substr(2));
        for (const std::wstring& written : {text, LowerCaseAscii(text), mixed}) {
            // Start from another source, so a parse that sets nothing shows.
            TAutorunSource parsed =
                source == TAutorunSource::Service ? TAutorunSource::MachineRun : TAutorunSource::Service;
            EXPECT_TRUE(ParseAutorunSource(written, parsed)) << testing::PrintToString(written);
            EXPECT_EQ(parsed, source) << testing::PrintToString(written);
        }
    }
    // Other root names, the long form, padding, parts and the 32-bit key's name are no source.
    const std::wstring others[] = {L"",      L"HKCR",  L"HKU",   L"HKEY_LOCAL_MACHINE", L" HKLM",
                                   L"HKLM ", L"HKL",   L"FILES", L"Run32",              L"HKLM\\",
                                   std::wstring(L"SERV\0", 5)};
    for (const std::wstring& other : others) {
        TAutorunSource parsed = TAutorunSource::ScheduledTask;
        EXPECT_FALSE(ParseAutorunSource(other, parsed)) << testing::PrintToString(other);
        EXPECT_EQ(parsed, TAutorunSource::ScheduledTask) << "a failed parse changed its output";
    }
    EXPECT_STREQ(AutorunSourceText(static_cast<TAutorunSource>(99)), L"");
}

// ---- collection ----

TEST_F(AutorunTest, CollectsEverySourceInOrderWithItsFields) {
    const std::wstring commonFolder = GetFolderPath(CSIDL_COMMON_STARTUP);
    const std::wstring userFolder = GetFolderPath(CSIDL_STARTUP);
    ASSERT_FALSE(commonFolder.empty());
    ASSERT_FALSE(userFolder.empty());
    const std::wstring commonName = UniqueName(L"TidoraCommon");
    const std::wstring userName = UniqueName(L"TidoraUser");
    const std::wstring commonFile = Scratch.File(commonFolder, commonName + L".exe");
    const std::wstring userFile = Scratch.File(userFolder, userName + L".lnk");

    const std::wstring hklm = UniqueName(L"TidoraHklm");
    const std::wstring hklm32 = UniqueName(L"TidoraHklm32");
    const std::wstring hkcu = UniqueName(L"TidoraHkcu");
    const std::wstring number = UniqueName(L"TidoraNumber");
    const std::wstring command = L"\"C:\\Program Files\\Tidora Test\\app.exe\" /min";
    Scratch.Text(HKEY_LOCAL_MACHINE, kRun, hklm, command);
    Scratch.Text(HKEY_LOCAL_MACHINE, kRun32, hklm32, L"C:\\Tools\\tool.exe -x");
    Scratch.Text(HKEY_CURRENT_USER, kRun, hkcu, L"%SystemRoot%\\system32\\rundll32.exe \"C:\\Libs\\a.dll\",Go");
    // Not text: listed with an empty command.
    Scratch.Watch(HKEY_CURRENT_USER, kRun, number);
    TReg::WriteInteger(HKEY_CURRENT_USER, kRun, number, 7);

    Fake.Tasks = {{UniqueName(L"TidoraTaskOn"), true}, {UniqueName(L"TidoraTaskOff"), false}};
    UseFakeScheduler();

    const std::wstring demand = UniqueName(L"TidoraDemand");
    const std::wstring automatic = UniqueName(L"TidoraAuto");
    const std::wstring disabled = UniqueName(L"TidoraDisabled");
    const std::wstring driver = UniqueName(L"TidoraDriver");
    const std::wstring servicePath = L"\"C:\\Program Files\\Tidora Test\\svc.exe\" -k netsvcs";
    Scratch.Service(demand, L"Tidora demand " + demand, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, servicePath);
    Scratch.Service(automatic, L"Tidora auto", SERVICE_WIN32_SHARE_PROCESS, SERVICE_AUTO_START,
                    L"C:\\Windows\\system32\\svchost.exe -k tidora");
    Scratch.Service(disabled, L"Tidora disabled", SERVICE_WIN32_OWN_PROCESS, SERVICE_DISABLED, L"C:\\x.exe");
    Scratch.Service(driver, L"Tidora driver", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                    L"\\??\\C:\\Windows\\system32\\drivers\\tidora.sys");

    TAutorunList list;
    CollectAutorun(list, Platform);

    // Source groups never interleave: files, Run values, tasks, services.
    for (size_t i = 1; i < list.size(); ++i)
        EXPECT_LE(SourceRank(list[i - 1].From), SourceRank(list[i].From)) << "entry " << i;
    for (const TAutorunInfo& info : list) EXPECT_NE(SourceRank(info.From), -1);

    size_t at[8] = {};
    ExpectEntry(Find(list, TAutorunSource::StartupFile, commonFile, &at[0]),
                {commonFile, commonName, L"", commonFile, TAutorunSource::StartupFile, true});
    ExpectEntry(Find(list, TAutorunSource::StartupFile, userFile, &at[1]),
                {userFile, userName, L"", userFile, TAutorunSource::StartupFile, true});
    ExpectEntry(Find(list, TAutorunSource::MachineRun, L"HKLM" + kRun + L"\\" + hklm, &at[2]),
                {L"C:\\Program Files\\Tidora Test\\app.exe", hklm, command, L"HKLM" + kRun + L"\\" + hklm,
                 TAutorunSource::MachineRun, true});
    ExpectEntry(Find(list, TAutorunSource::MachineRun, L"HKLM" + kRun32 + L"\\" + hklm32, &at[3]),
                {L"C:\\Tools\\tool.exe", hklm32, L"C:\\Tools\\tool.exe -x", L"HKLM" + kRun32 + L"\\" + hklm32,
                 TAutorunSource::MachineRun, true});
    ExpectEntry(Find(list, TAutorunSource::UserRun, L"HKCU" + kRun + L"\\" + hkcu, &at[4]),
                {L"C:\\Libs\\a.dll", hkcu,
                 L"%SystemRoot%\\system32\\rundll32.exe \"C:\\Libs\\a.dll\",Go", L"HKCU" + kRun + L"\\" + hkcu,
                 TAutorunSource::UserRun, true});
    ExpectEntry(Find(list, TAutorunSource::UserRun, L"HKCU" + kRun + L"\\" + number),
                {CommandLineToFile(L""), number, L"", L"HKCU" + kRun + L"\\" + number, TAutorunSource::UserRun,
                 true});
    ExpectEntry(Find(list, TAutorunSource::ScheduledTask, L"\\" + Fake.Tasks[0].Name, &at[5]),
                {L"", Fake.Tasks[0].Name, L"", L"\\" + Fake.Tasks[0].Name, TAutorunSource::ScheduledTask, true});
    ExpectEntry(Find(list, TAutorunSource::ScheduledTask, L"\\" + Fake.Tasks[1].Name, &at[6]),
                {L"", Fake.Tasks[1].Name, L"", L"\\" + Fake.Tasks[1].Name, TAutorunSource::ScheduledTask, false});
    ExpectEntry(Find(list, TAutorunSource::Service, demand, &at[7]),
                {servicePath, L"Tidora demand " + demand, servicePath, demand, TAutorunSource::Service, false});
    ExpectEntry(Find(list, TAutorunSource::Service, automatic),
                {L"C:\\Windows\\system32\\svchost.exe -k tidora", L"Tidora auto",
                 L"C:\\Windows\\system32\\svchost.exe -k tidora", automatic, TAutorunSource::Service, true});
    ExpectEntry(Find(list, TAutorunSource::Service, disabled),
                {L"C:\\x.exe", L"Tidora disabled", L"C:\\x.exe", disabled, TAutorunSource::Service, false});
    EXPECT_EQ(Find(list, TAutorunSource::Service, driver), nullptr) << "drivers are not listed";
    // All-users folder before the user's; HKLM 64-bit, HKLM 32-bit, HKCU; tasks in their order.
    EXPECT_TRUE(std::is_sorted(std::begin(at), std::end(at)));

    // Nothing is cached or doubled: a second collection gives the same list
    // (leaving out what tests running beside this one add or remove meanwhile).
    TAutorunList again = list;
    CollectAutorun(again, Platform);
    EXPECT_EQ(Stable(again), Stable(list));
    EXPECT_GT(Stable(list).size(), 8u);
    // Every fake object was released, and the connection dropped.
    EXPECT_EQ(Fake.Alive.load(), 0);
    const auto lock = LockTaskScheduler();
    EXPECT_EQ(ConnectedTaskScheduler(), nullptr);
}

TEST_F(AutorunTest, StartupApprovedReadsBitZeroOfATwelveByteValue) {
    const std::wstring key = L"\\Software\\" + UniqueName(L"TidoraApproved");
    Scratch.WatchKey(HKEY_CURRENT_USER, L"\\Software", key.substr(10));
    struct Case {
        TBytes Value;
        bool Missing;
        bool Enabled;
        const char* Why;
    };
    const Case cases[] = {
        {Approved(2), false, true, "2: on, as written"},
        {Approved(6), false, true, "6: on, as Windows writes too"},
        {Approved(3), false, false, "3: off, as written"},
        {Approved(7), false, false, "7: off, as Windows writes too"},
        {Approved(0), false, true, "even first byte"},
        {Approved(1), false, false, "odd first byte"},
        {Approved(3, 8), false, true, "8 bytes beginning with 3"},
        {Approved(3, 13), false, true, "13 bytes beginning with 3"},
        {Approved(0, 0), false, true, "empty value"},
        {{}, true, true, "missing value"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::wstring name = L"Value" + std::to_wstring(i);
        if (!cases[i].Missing) TReg::WriteBinary(HKEY_CURRENT_USER, key, name, cases[i].Value);
        EXPECT_EQ(IsStartupApproved(HKEY_CURRENT_USER, key, name), cases[i].Enabled) << cases[i].Why;
    }
    // A missing key reads as on.
    EXPECT_TRUE(IsStartupApproved(HKEY_CURRENT_USER, key + L"\\Missing", L"Value2"));
}

TEST_F(AutorunTest, EachEntryIsTestedUnderItsOwnStartupApprovedKey) {
    const std::wstring commonFolder = GetFolderPath(CSIDL_COMMON_STARTUP);
    const std::wstring userFolder = GetFolderPath(CSIDL_STARTUP);
    struct Entry {
        HKEY Root;
        std::wstring Key;       // Run key, or empty for a file
        std::wstring Folder;    // startup folder of a file
        HKEY ApprovedRoot;
        std::wstring ApprovedKey;
        uint8_t State;
        bool Enabled;
        const char* Why;
    };
    const Entry entries[] = {
        {HKEY_CURRENT_USER, kRun, L"", HKEY_CURRENT_USER, kApprovedRun, 3, false, "HKCU Run, off"},
        {HKEY_CURRENT_USER, kRun, L"", HKEY_CURRENT_USER, kApprovedRun, 6, true, "HKCU Run, 6 is on"},
        {HKEY_CURRENT_USER, kRun, L"", HKEY_LOCAL_MACHINE, kApprovedRun, 3, true, "HKCU Run, off under HKLM"},
        {HKEY_LOCAL_MACHINE, kRun, L"", HKEY_LOCAL_MACHINE, kApprovedRun, 7, false, "HKLM Run, off"},
        {HKEY_LOCAL_MACHINE, kRun, L"", HKEY_LOCAL_MACHINE, kApprovedRun32, 3, true, "HKLM Run, off in Run32"},
        {HKEY_LOCAL_MACHINE, kRun32, L"", HKEY_LOCAL_MACHINE, kApprovedRun32, 3, false, "Wow6432Node, off in Run32"},
        {HKEY_LOCAL_MACHINE, kRun32, L"", HKEY_LOCAL_MACHINE, kApprovedRun, 3, true, "Wow6432Node, off in Run"},
        {nullptr, L"", commonFolder, HKEY_LOCAL_MACHINE, kApprovedFolder, 3, false, "all users' file, off"},
        {nullptr, L"", commonFolder, HKEY_CURRENT_USER, kApprovedFolder, 3, true, "all users' file, off under HKCU"},
        {nullptr, L"", userFolder, HKEY_CURRENT_USER, kApprovedFolder, 7, false, "user's file, off"},
        {nullptr, L"", userFolder, HKEY_LOCAL_MACHINE, kApprovedFolder, 3, true, "user's file, off under HKLM"},
    };
    std::vector<std::pair<TAutorunSource, std::wstring>> ids;  // From, Target
    for (const Entry& e : entries) {
        const std::wstring name = UniqueName(L"TidoraApproval");
        if (e.Root) {
            Scratch.Text(e.Root, e.Key, name, L"C:\\app.exe");
            ids.emplace_back(RunSource(e.Root), RootKeyToName(e.Root, true) + e.Key + L"\\" + name);
            Scratch.Binary(e.ApprovedRoot, e.ApprovedKey, name, Approved(e.State));
        } else {
            ids.emplace_back(TAutorunSource::StartupFile, Scratch.File(e.Folder, name + L".lnk"));
            // The value name keeps the extension.
            Scratch.Binary(e.ApprovedRoot, e.ApprovedKey, name + L".lnk", Approved(e.State));
        }
    }
    TAutorunList list;
    CollectAutorun(list, Platform);
    for (size_t i = 0; i < std::size(entries); ++i) {
        const TAutorunInfo* info = Find(list, ids[i].first, ids[i].second);
        ASSERT_NE(info, nullptr) << entries[i].Why;
        EXPECT_EQ(info->Enabled, entries[i].Enabled) << entries[i].Why;
    }
}

TEST_F(AutorunTest, StartupFolderKeepsProgramFilesOnly) {
    const std::wstring folder = GetFolderPath(CSIDL_STARTUP);
    const std::wstring stem = UniqueName(L"TidoraFolder");
    struct Case {
        std::wstring Name;
        DWORD Attributes;
        std::wstring Caption;  // empty: not listed
    };
    const Case cases[] = {
        {stem + L"_text.txt", 0, L""},
        {stem + L"_upper.EXE", 0, stem + L"_upper"},
        {stem + L"_mixed.Lnk", 0, stem + L"_mixed"},
        {stem + L"_web.url", 0, stem + L"_web"},
        {stem + L"_batch.bat", 0, stem + L"_batch"},
        {stem + L"_script.cmd", 0, stem + L"_script"},
        {stem + L"_old.com", 0, stem + L"_old"},
        {stem + L"_two.dots.lnk", 0, stem + L"_two.dots"},
        {stem + L"_hidden.lnk", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, stem + L"_hidden"},
        {stem + L"_desktop.ini", FILE_ATTRIBUTE_HIDDEN, L""},
        {stem + L"_noext", 0, L""},
        {stem + L"_lnk", 0, L""},
        {stem + L"_trail.lnk.bak", 0, L""},
    };
    for (const Case& c : cases) Scratch.File(folder, c.Name, c.Attributes);
    // Folders are not files, and their files are not visited.
    const std::wstring sub = Scratch.Folder(folder, stem + L"_folder.lnk");
    const std::wstring inner = Scratch.File(sub, stem + L"_inner.lnk");

    TAutorunList list;
    CollectStartupFolder(folder, list);
    for (const Case& c : cases) {
        const TAutorunInfo* info = Find(list, TAutorunSource::StartupFile, folder + L"\\" + c.Name);
        if (c.Caption.empty()) {
            EXPECT_EQ(info, nullptr) << testing::PrintToString(c.Name);
        } else {
            ASSERT_NE(info, nullptr) << testing::PrintToString(c.Name);
            EXPECT_EQ(info->Caption, c.Caption);
            EXPECT_EQ(info->FileName, folder + L"\\" + c.Name);
        }
    }
    EXPECT_EQ(Find(list, TAutorunSource::StartupFile, sub), nullptr);
    EXPECT_EQ(Find(list, TAutorunSource::StartupFile, inner), nullptr);

    // Missing or unnamed folders give nothing.
    TAutorunList none;
    CollectStartupFolder(L"", none);
    CollectStartupFolder(folder + L"\\" + UniqueName(L"TidoraMissing"), none);
    EXPECT_TRUE(none.empty());
}

TEST_F(AutorunTest, RunKeyListsTheDefaultValueWithAnEmptyCaption) {
    const std::wstring key = L"\\Software\\" + UniqueName(L"TidoraRunKey");
    Scratch.WatchKey(HKEY_CURRENT_USER, L"\\Software", key.substr(10));
    TReg::WriteString(HKEY_CURRENT_USER, key, L"", L"C:\\default.exe /x");
    TReg::WriteString(HKEY_CURRENT_USER, key, L"Named", L"C:\\named.exe");

    TAutorunList list;
    CollectRunKey(HKEY_CURRENT_USER, key, list);
    ASSERT_EQ(list.size(), 2u);
    ExpectEntry(Find(list, TAutorunSource::UserRun, L"HKCU" + key + L"\\"),
                {L"C:\\default.exe", L"", L"C:\\default.exe /x", L"HKCU" + key + L"\\", TAutorunSource::UserRun,
                 true});
    ExpectEntry(Find(list, TAutorunSource::UserRun, L"HKCU" + key + L"\\Named"),
                {L"C:\\named.exe", L"Named", L"C:\\named.exe", L"HKCU" + key + L"\\Named", TAutorunSource::UserRun,
                 true});

    // A missing key adds nothing.
    CollectRunKey(HKEY_CURRENT_USER, key + L"\\Missing", list);
    EXPECT_EQ(list.size(), 2u);

    // Nor does a root that names no source, whatever its values.
    const std::wstring other = L"\\.DEFAULT" + key;
    Scratch.WatchKey(HKEY_USERS, L"\\.DEFAULT\\Software", key.substr(10));
    TReg::WriteString(HKEY_USERS, other, L"Named", L"C:\\named.exe");
    TNamedTexts written;
    ASSERT_EQ(TReg::ReadStringValues(HKEY_USERS, other, written), 1);
    CollectRunKey(HKEY_USERS, other, list);
    EXPECT_EQ(list.size(), 2u);
}

// ---- tasks, through the fake scheduler ----

TEST_F(AutorunTest, TasksComeFromTheRootFolderWithoutHiddenOnes) {
    Fake.Tasks = {{L"One", true}, {L"Two", false}, {L"Three", true}};
    UseFakeScheduler();
    TAutorunList list;
    CollectScheduledTasks(list, Platform);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].Target, L"\\One");
    EXPECT_EQ(list[1].Target, L"\\Two");
    EXPECT_FALSE(list[1].Enabled);
    EXPECT_EQ(list[2].Target, L"\\Three");
    const std::vector<std::wstring> calls = {L"Connect", L"GetFolder \\", L"GetTasks 0", L"Item 1", L"Item 2",
                                             L"Item 3"};
    EXPECT_EQ(Fake.Calls, calls);
    EXPECT_EQ(Fake.Alive.load(), 0);

    // A folder path with or without its closing backslash names tasks alike.
    ComPtr<ITaskService> service(new TFakeTaskService(Fake));
    TAutorunList direct;
    EXPECT_EQ(CollectTaskFolder(service.get(), L"\\", direct), S_OK);
    EXPECT_EQ(direct, list);
}

TEST_F(AutorunTest, TaskListingStopsQuietlyAtAnError) {
    Fake.Tasks = {{L"First", true}, {L"Broken", true}, {L"Third", true}};
    Fake.FailingItem = 2;
    UseFakeScheduler();
    TAutorunList list;
    CollectAutorun(list, Platform);
    size_t tasks = 0;
    for (const TAutorunInfo& info : list) tasks += info.From == TAutorunSource::ScheduledTask;
    EXPECT_EQ(tasks, 1u);
    EXPECT_NE(Find(list, TAutorunSource::ScheduledTask, L"\\First"), nullptr);
    EXPECT_FALSE(list.empty());
    EXPECT_EQ(list.back().From, TAutorunSource::Service) << "services are still listed after the failure";
    EXPECT_EQ(Fake.Alive.load(), 0);
}

TEST_F(AutorunTest, NoTasksWithoutAScheduler) {
    const std::wstring service = UniqueName(L"TidoraNoScheduler");
    Scratch.Service(service, service, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, L"C:\\x.exe");
    const std::wstring value = UniqueName(L"TidoraNoScheduler");
    Scratch.Text(HKEY_CURRENT_USER, kRun, value, L"C:\\x.exe");

    struct Case {
        bool Created;
        HRESULT Connect;
        const char* Why;
    };
    for (const Case& c : {Case{false, S_OK, "class not registered"},
                          Case{true, HRESULT_FROM_WIN32(ERROR_SERVICE_NOT_ACTIVE), "scheduler service stopped"}}) {
        Fake.Calls.clear();
        Fake.Tasks = {{L"Unreachable", true}};
        Fake.ConnectResult = c.Connect;
        Platform.CreateTaskService = [this, &c](ITaskService** Service) {
            if (!c.Created) return REGDB_E_CLASSNOTREG;
            *Service = new TFakeTaskService(Fake);
            return S_OK;
        };
        TAutorunList list;
        CollectAutorun(list, Platform);
        EXPECT_EQ(Find(list, TAutorunSource::ScheduledTask, L"\\Unreachable"), nullptr) << c.Why;
        EXPECT_NE(Find(list, TAutorunSource::Service, service), nullptr) << c.Why;
        EXPECT_NE(Find(list, TAutorunSource::UserRun, L"HKCU" + kRun + L"\\" + value), nullptr) << c.Why;
        EXPECT_EQ(Fake.Alive.load(), 0) << c.Why;
        const auto lock = LockTaskScheduler();
        EXPECT_EQ(ConnectedTaskScheduler(), nullptr) << c.Why;
    }
}

// ---- the real scheduler: what Wine carries out ----

TEST_F(AutorunTest, RealSchedulerConnectsOnAnyThreadAndFindsNoMissingTask) {
    auto connectAndLook = [](const std::wstring& Missing) {
        const auto lock = LockTaskScheduler();
        ASSERT_TRUE(lock.owns_lock());
        TaskSchedulerConnect();
        ITaskService* service = ConnectedTaskScheduler();
        ASSERT_NE(service, nullptr);
        TaskSchedulerConnect();  // connected already: the same object
        EXPECT_EQ(ConnectedTaskScheduler(), service);
        VARIANT_BOOL connected = VARIANT_FALSE;
        EXPECT_EQ(service->get_Connected(&connected), S_OK);
        EXPECT_EQ(connected, VARIANT_TRUE);
        UniqueBstr root(SysAllocString(L"\\")), path(SysAllocString(Missing.c_str()));
        ComPtr<ITaskFolder> folder;
        ASSERT_EQ(service->GetFolder(root.get(), folder.put()), S_OK);
        ComPtr<IRegisteredTask> task;
        EXPECT_TRUE(FAILED(folder.get()->GetTask(path.get(), task.put())));
        EXPECT_FALSE(task);
        folder.reset();
        TaskSchedulerDisconnect();
        EXPECT_EQ(ConnectedTaskScheduler(), nullptr);
        TaskSchedulerDisconnect();  // nothing left to drop
    };
    const std::wstring missing = L"\\" + UniqueName(L"TidoraMissingTask");
    connectAndLook(missing);
    // A worker thread has no apartment yet: connecting makes one and
    // disconnecting ends it, so the thread can initialise COM afresh.
    std::thread worker([&] {
        connectAndLook(missing);
        const HRESULT again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        EXPECT_EQ(again, S_OK) << "the connection left COM initialised on the worker";
        if (SUCCEEDED(again)) CoUninitialize();
    });
    worker.join();

    // Switching a task that does not exist changes nothing and reports nothing.
    EXPECT_NO_THROW(SwitchScheduledTask(missing, false));
    EXPECT_NO_THROW(SwitchAutorun(missing, TAutorunSource::ScheduledTask, true));
    // Wine lists no tasks, but collecting through it is harmless.
    TAutorunList list;
    EXPECT_NO_THROW(CollectScheduledTasks(list));
}

TEST_F(AutorunTest, SchedulerLockKeepsSwitchingAndCollectingApart) {
    Fake.Tasks = {{L"Locked", true}};
    std::atomic<int> created{0};
    Platform.CreateTaskService = [this, &created](ITaskService** Service) {
        ++created;
        *Service = new TFakeTaskService(Fake);
        return S_OK;
    };
    std::atomic<bool> finished{false};
    std::thread worker;
    {
        const auto lock = LockTaskScheduler();
        worker = std::thread([&] {
            SwitchScheduledTask(L"\\Locked", false, Platform);
            finished = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_FALSE(finished.load());
        EXPECT_EQ(created.load(), 0) << "the worker connected while the lock was held";
    }
    worker.join();
    EXPECT_TRUE(finished.load());
    EXPECT_EQ(created.load(), 1);
    EXPECT_FALSE(Fake.Tasks[0].Enabled);
    EXPECT_EQ(Fake.Alive.load(), 0);
}

// ---- switching ----

TEST_F(AutorunTest, SwitchingOnWindows10WritesStartupApprovedAndKeepsTheEntry) {
    PinWindows10(true);
    const std::wstring commonFolder = GetFolderPath(CSIDL_COMMON_STARTUP);
    const std::wstring userFolder = GetFolderPath(CSIDL_STARTUP);
    struct Case {
        HKEY RunRoot;  // null for a file
        std::wstring RunKey;
        std::wstring Folder;
        HKEY ApprovedRoot;
        std::wstring ApprovedKey;
        const char* Why;
    };
    const Case cases[] = {
        {HKEY_CURRENT_USER, kRun, L"", HKEY_CURRENT_USER, kApprovedRun, "HKCU Run"},
        {HKEY_LOCAL_MACHINE, kRun, L"", HKEY_LOCAL_MACHINE, kApprovedRun, "HKLM Run"},
        {HKEY_LOCAL_MACHINE, kRun32, L"", HKEY_LOCAL_MACHINE, kApprovedRun32, "HKLM Wow6432Node Run"},
        {nullptr, L"", commonFolder, HKEY_LOCAL_MACHINE, kApprovedFolder, "all users' startup file"},
        {nullptr, L"", userFolder, HKEY_CURRENT_USER, kApprovedFolder, "user's startup file"},
    };
    for (const Case& c : cases) {
        const std::wstring name = UniqueName(L"TidoraSwitch");
        std::wstring target, valueName = name;
        TAutorunSource from = TAutorunSource::StartupFile;
        if (c.RunRoot) {
            from = RunSource(c.RunRoot);
            target = RootKeyToName(c.RunRoot, true) + c.RunKey + L"\\" + name;
            Scratch.Text(c.RunRoot, c.RunKey, name, L"C:\\run.exe /x");
        } else {
            valueName = name + L".lnk";
            target = Scratch.File(c.Folder, valueName);
        }
        Scratch.Watch(c.ApprovedRoot, c.ApprovedKey, valueName);
        // Wrong places must stay untouched.
        const HKEY otherRoot = c.ApprovedRoot == HKEY_LOCAL_MACHINE ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        Scratch.Watch(otherRoot, c.ApprovedKey, valueName);

        for (bool enable : {false, true}) {
            const uint64_t before = NowFileTime();
            SwitchAutorun(target, from, enable, Platform);
            const uint64_t after = NowFileTime();
            const TBytes value = TReg::ReadBinary(c.ApprovedRoot, c.ApprovedKey, valueName);
            ASSERT_EQ(value.size(), 12u) << c.Why;
            EXPECT_EQ(value[0], enable ? 2 : 3) << c.Why;
            EXPECT_EQ(value[1], 0);
            EXPECT_EQ(value[2], 0);
            EXPECT_EQ(value[3], 0);
            const uint64_t stamp = StampOf(value);
            EXPECT_GE(stamp + kSecond, before) << c.Why;
            EXPECT_LE(stamp, after + kSecond) << c.Why;
            EXPECT_TRUE(TReg::ReadBinary(otherRoot, c.ApprovedKey, valueName).empty()) << c.Why;

            // The entry itself stays, and collection reads the new state.
            TAutorunList list;
            if (c.RunRoot) {
                EXPECT_EQ(TReg::ReadString(c.RunRoot, c.RunKey, name, L"?"), L"C:\\run.exe /x") << c.Why;
                CollectRunKey(c.RunRoot, c.RunKey, list);
            } else {
                EXPECT_TRUE(FileExists(target)) << c.Why;
                CollectStartupFolder(c.Folder, list);
            }
            const TAutorunInfo* info = Find(list, from, target);
            ASSERT_NE(info, nullptr) << c.Why;
            EXPECT_EQ(info->Enabled, enable) << c.Why;
        }
    }
}

TEST_F(AutorunTest, SwitchingBeforeWindows10DeletesToSwitchOff) {
    PinWindows10(false);
    const std::wstring folder = GetFolderPath(CSIDL_STARTUP);
    const std::wstring name = UniqueName(L"TidoraOld");
    Scratch.Text(HKEY_CURRENT_USER, kRun, name, L"C:\\old.exe");
    Scratch.Watch(HKEY_CURRENT_USER, kApprovedRun, name);
    const std::wstring file = Scratch.File(folder, name + L".lnk");
    Scratch.Watch(HKEY_CURRENT_USER, kApprovedFolder, name + L".lnk");
    const std::wstring runTarget = L"HKCU" + kRun + L"\\" + name;

    // On does nothing.
    SwitchAutorun(runTarget, TAutorunSource::UserRun, true, Platform);
    SwitchAutorun(file, TAutorunSource::StartupFile, true, Platform);
    EXPECT_EQ(TReg::ReadString(HKEY_CURRENT_USER, kRun, name, L"?"), L"C:\\old.exe");
    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(TReg::ReadBinary(HKEY_CURRENT_USER, kApprovedRun, name).empty());
    EXPECT_TRUE(TReg::ReadBinary(HKEY_CURRENT_USER, kApprovedFolder, name + L".lnk").empty());

    // Off deletes the value and the file, and writes nothing.
    SwitchAutorun(runTarget, TAutorunSource::UserRun, false, Platform);
    SwitchAutorun(file, TAutorunSource::StartupFile, false, Platform);
    TStrings names;
    TReg::ReadValueNames(HKEY_CURRENT_USER, kRun, names);
    EXPECT_EQ(std::find(names.begin(), names.end(), name), names.end());
    EXPECT_FALSE(FileExists(file));
    EXPECT_TRUE(TReg::ReadBinary(HKEY_CURRENT_USER, kApprovedRun, name).empty());
    // A file gone already is off already.
    EXPECT_NO_THROW(SwitchStartupFile(file, false, Platform));
}

TEST_F(AutorunTest, UndeletableStartupFileRaisesAnErrorTheCallerCanCatch) {
    PinWindows10(false);
    const std::wstring file = Scratch.File(GetFolderPath(CSIDL_STARTUP), UniqueName(L"TidoraBusy") + L".lnk");
    {
        // Open without delete sharing: the file cannot be deleted meanwhile.
        UniqueFileHandle busy(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                          nullptr));
        ASSERT_TRUE(busy);
        try {
            SwitchAutorun(file, TAutorunSource::StartupFile, false, Platform);
            ADD_FAILURE() << "no error raised";
        } catch (const EAutorunError& error) {
            EXPECT_EQ(error.Code(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
            EXPECT_NE(error.Message().find(file), std::wstring::npos);
            EXPECT_GT(error.Message().size(), file.size() + 3) << "the system's message is missing";
            // The program's handler of unexpected errors sees a std::exception.
            const std::exception& plain = error;
            EXPECT_NE(std::string(plain.what()).find("TidoraBusy"), std::string::npos);
        }
    }
    EXPECT_TRUE(FileExists(file));
}

TEST_F(AutorunTest, ServicesSwitchBetweenAutomaticAndDisabled) {
    const std::wstring name = UniqueName(L"TidoraSwitchService");
    Scratch.Service(name, name, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, L"C:\\svc.exe");
    SwitchAutorun(name, TAutorunSource::Service, false, Platform);
    EXPECT_EQ(StartType(name), static_cast<DWORD>(SERVICE_DISABLED));
    SwitchAutorun(name, TAutorunSource::Service, true, Platform);
    EXPECT_EQ(StartType(name), static_cast<DWORD>(SERVICE_AUTO_START)) << "on means automatic, not demand";
    SwitchService(name, false);
    TAutorunList list;
    CollectServices(list);
    const TAutorunInfo* info = Find(list, TAutorunSource::Service, name);
    ASSERT_NE(info, nullptr);
    EXPECT_FALSE(info->Enabled);
    // A service that does not exist changes nothing.
    EXPECT_NO_THROW(SwitchService(UniqueName(L"TidoraNoService"), true));
    EXPECT_NO_THROW(SwitchService(L"", true));
}

TEST_F(AutorunTest, TasksSwitchThroughTheirEnabledFlag) {
    Fake.Tasks = {{L"Daily", true}, {L"Other", true}};
    UseFakeScheduler();
    SwitchAutorun(L"\\Daily", TAutorunSource::ScheduledTask, false, Platform);
    EXPECT_FALSE(Fake.Tasks[0].Enabled);
    SwitchAutorun(L"\\Daily", TAutorunSource::ScheduledTask, true, Platform);
    EXPECT_TRUE(Fake.Tasks[0].Enabled);
    const std::vector<std::wstring> calls = {
        L"Connect", L"GetFolder \\", L"GetTask \\Daily", L"put_Enabled Daily false",
        L"Connect", L"GetFolder \\", L"GetTask \\Daily", L"put_Enabled Daily true",
    };
    EXPECT_EQ(Fake.Calls, calls);

    // A task deleted in the meantime: nothing is set, nothing is reported.
    Fake.Calls.clear();
    EXPECT_NO_THROW(SwitchScheduledTask(L"\\Deleted", false, Platform));
    const std::vector<std::wstring> missing = {L"Connect", L"GetFolder \\", L"GetTask \\Deleted"};
    EXPECT_EQ(Fake.Calls, missing);
    EXPECT_TRUE(Fake.Tasks[0].Enabled);
    EXPECT_TRUE(Fake.Tasks[1].Enabled);
    EXPECT_EQ(Fake.Alive.load(), 0);
}

TEST_F(AutorunTest, UnparsableOrUnknownTargetsChangeNothing) {
    const std::wstring name = UniqueName(L"TidoraUnparsable");
    Scratch.Text(HKEY_CURRENT_USER, kRun, name, L"C:\\keep.exe");
    Scratch.Watch(HKEY_CURRENT_USER, kApprovedRun, name);
    Scratch.Watch(HKEY_CURRENT_USER, kApprovedRun, L"");
    Scratch.Watch(HKEY_CURRENT_USER, kApprovedRun32, name);
    for (bool windows10 : {true, false}) {
        PinWindows10(windows10);
        // Fewer than three parts.
        SwitchAutorun(L"HKCU\\" + name, TAutorunSource::UserRun, false, Platform);
        SwitchAutorun(name, TAutorunSource::UserRun, false, Platform);
        SwitchAutorun(L"", TAutorunSource::MachineRun, false, Platform);
        EXPECT_EQ(TReg::ReadString(HKEY_CURRENT_USER, kRun, name, L"?"), L"C:\\keep.exe");
        EXPECT_TRUE(TReg::ReadBinary(HKEY_CURRENT_USER, kApprovedRun, name).empty());
    }
    // Before 10, switching off never deletes more than a value: a subkey of
    // the Run key with the entry's name stays.
    PinWindows10(false);
    const std::wstring key = L"\\Software\\" + UniqueName(L"TidoraRunWithKey");
    Scratch.WatchKey(HKEY_CURRENT_USER, L"\\Software", key.substr(10));
    TReg::WriteString(HKEY_CURRENT_USER, key + L"\\Sub", L"Inner", L"x");
    SwitchRunValue(L"HKCU" + key + L"\\Sub", false, Platform);
    EXPECT_TRUE(TReg::IsKey(HKEY_CURRENT_USER, key + L"\\Sub"));
}
