// The Startup page on a form of its own: rows merged from collections made up
// here, then the real machine of the prefix (Run values, services), switching,
// saving, the entry page, and the list the usage report reads.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "lib/Autorun.h"
#include "lib/Common.h"
#include "pages/Autorun.h"
#include "system/Handles.h"
#include "system/Path.h"
#include "system/Registry.h"
#include "system/Strings.h"
#include "system/Sync.h"
#include "system/Windows.h"
#include "tests/TestSupport.h"
#include "tests/pages/PageHost.h"
#include "ui/Application.h"
#include "ui/CardPanel.h"
#include "ui/Form.h"
#include "ui/Translate.h"

using namespace tidora;
using tidora::test::Pump;
using tidora::test::PumpUntil;
using tidora::test::TTempDir;
using tidora::test::UniqueName;

namespace {

const std::wstring kRun = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kApprovedRun = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";


TAutorunInfo Entry(TAutorunSource From, const std::wstring& Caption, const std::wstring& Target,
                   bool Enabled = true, const std::wstring& FileName = L"") {
    TAutorunInfo info;
    info.FileName = FileName;
    info.Caption = Caption;
    info.Target = Target;
    info.From = From;
    info.Enabled = Enabled;
    return info;
}

// The page with its collection and its save dialog in the test's hands.
class TTestAutorunPage : public TFrmAutorun {
public:
    using TFrmAutorun::TFrmAutorun;

    bool Real = false;          // collect the machine instead of Entries
    TAutorunList Entries;
    std::function<void(TAutorunList&)> Collecting;  // runs inside a collection
    int Collections = 0;
    std::vector<std::wstring> Answers;  // what the save dialog answers, "" for cancel

protected:
    void CollectEntries(TAutorunList& List) override {
        ++Collections;
        if (Real) {
            TFrmAutorun::CollectEntries(List);
            return;
        }
        List.clear();
        if (Collecting) Collecting(List);
        else List = Entries;
    }
    bool PromptSaveFileName(std::wstring& FileName) override { return test::TakeSaveAnswer(Answers, FileName); }
};

class StartupPage : public test::TPageHost<TTestAutorunPage> {
protected:
    StartupPage() : TPageHost(L"TidoraStartupPageTest", L"FrmAutorun", 448, 367) {}
    // The page switches by Windows 10's rules unless a test says otherwise.
    void SetUp() override {
        Platform.Windows10OrLater = [this] { return Windows10; };
        TPageHost::SetUp();
    }
    void PageMade() override { Page->SetProtectionLists(&FileWhite, &NameWhite, &NameBlack); }

    int RowOf(TAutorunSource From, const std::wstring& Target) const {
        const auto& rows = Page->Rows();
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].From == From && rows[i].Target == Target) return static_cast<int>(i);
        return -1;
    }
    std::vector<std::wstring> Shown() const {
        std::vector<std::wstring> names;
        for (const TAutorunItem& row : Page->Rows()) names.push_back(row.FileName);
        return names;
    }
    std::wstring Cell(int Row, int Column) const { return TPageHost::Cell(Page->ListAutorun, Row, Column); }
    bool Grey(int Row) const {
        return Page->ListAutorun->OnGetTextColor(Row, 0) == GetSysColor(COLOR_GRAYTEXT) &&
               Page->ListAutorun->OnGetTextColor(Row, 1) == GetSysColor(COLOR_GRAYTEXT);
    }
    void ClickRow(int Row) {
        const RECT r = Page->ListAutorun->RowRect(Row);
        const LPARAM at = MAKELPARAM(r.left + 30, (r.top + r.bottom) / 2);
        SendMessageW(Page->ListAutorun->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(Page->ListAutorun->Handle(), WM_LBUTTONUP, 0, at);
    }
    void TickAllPrograms() { SendMessageW(Page->ChkAllList->Handle(), BM_CLICK, 0, 0); }

    TStringList FileWhite, NameWhite, NameBlack;
    bool Windows10 = true;
};

TEST_F(StartupPage, RowsFollowTheCollectionByFromAndTargetAndKeepTheirPlaces) {
    const std::wstring versioned = test::BinaryPath(L"fixtures\\VersionedApp.exe");
    TVersionStrings versions;
    ReadVersionStrings(versioned, {L"ProductName"}, versions);
    ASSERT_FALSE(versions[L"ProductName"].empty());
    const std::wstring run = L"HKCU" + kRun + L"\\";
    Page->Entries = {
        Entry(TAutorunSource::UserRun, L"Versioned", run + L"Versioned", true, versioned),
        Entry(TAutorunSource::MachineRun, L"Plain", L"HKLM" + kRun + L"\\Plain", true, L"C:\\nowhere\\plain.exe"),
        Entry(TAutorunSource::UserRun, L"", run, true, L"C:\\nowhere\\default.exe"),
        Entry(TAutorunSource::UserRun, L"Off", run + L"Off", false, L"C:\\nowhere\\off.exe"),
        Entry(TAutorunSource::ScheduledTask, L"Nightly", L"\\Nightly"),
        Entry(TAutorunSource::Service, L"Print Spooler", L"Spooler", true, L"C:\\Windows\\system32\\spoolsv.exe"),
    };
    Page->LoadAutorun();
    // The product name where the file has one; the unnamed default value and
    // the switched-off entry are not shown.
    EXPECT_EQ(Shown(), (std::vector<std::wstring>{versions[L"ProductName"], L"Plain", L"Nightly", L"Print Spooler"}));
    EXPECT_EQ(Page->ListAutorun->RowCount(), 4);
    EXPECT_EQ(Cell(0, 0), versions[L"ProductName"]);
    // The source column in its written form.
    EXPECT_EQ((std::vector<std::wstring>{Cell(0, 1), Cell(1, 1), Cell(2, 1), Cell(3, 1)}),
              (std::vector<std::wstring>{L"HKCU", L"HKLM", L"SCHE", L"SERV"}));
    EXPECT_GT(Page->Rows()[0].Icon, 3);  // the file's own icon, appended to the pictures
    EXPECT_EQ(Page->Rows()[1].Icon, 1);  // no such file: the program picture
    EXPECT_EQ(Page->Rows()[2].Icon, 2);
    EXPECT_EQ(Page->Rows()[3].Icon, 3);
    EXPECT_FALSE(Grey(1));
    EXPECT_EQ(Page->ListAutorun->OnGetImageIndex(0, 1), -1);

    // Picking the card again: same rows, no copies.
    Page->LoadAutorun();
    EXPECT_EQ(Page->Rows().size(), 4u);

    // Plain switched off stays in place, grey; the task is gone; a new entry
    // comes last; a Target that differs in letter case only is the same row.
    Page->ListAutorun->SelectRow(2);
    Page->Entries = {
        Entry(TAutorunSource::UserRun, L"Versioned", L"hkcu" + kRun + L"\\VERSIONED", true, versioned),
        Entry(TAutorunSource::MachineRun, L"Plain", L"HKLM" + kRun + L"\\Plain", false, L"C:\\nowhere\\plain.exe"),
        Entry(TAutorunSource::UserRun, L"Off", run + L"Off", false, L"C:\\nowhere\\off.exe"),
        Entry(TAutorunSource::Service, L"Print Spooler", L"Spooler", true),
        Entry(TAutorunSource::Service, L"New Service", L"NewSvc", true),
    };
    Page->LoadAutorun();
    EXPECT_EQ(Shown(), (std::vector<std::wstring>{versions[L"ProductName"], L"Plain", L"Print Spooler", L"New Service"}));
    EXPECT_TRUE(Grey(1));
    EXPECT_FALSE(Grey(0));
    EXPECT_EQ(Page->ListAutorun->RowCount(), 4);
    EXPECT_EQ(Cell(3, 0), L"New Service");
    // The selection went with the task's row.
    EXPECT_EQ(Page->ListAutorun->SelectedRow(), -1);

    // "All Programs" rebuilds the rows: the entry that was already off shows, grey.
    TickAllPrograms();
    EXPECT_TRUE(Page->ChkAllList->Checked());
    EXPECT_EQ(Shown(), (std::vector<std::wstring>{versions[L"ProductName"], L"Plain", L"Off", L"Print Spooler",
                                                  L"New Service"}));
    EXPECT_TRUE(Grey(2));
    TickAllPrograms();
    EXPECT_EQ(RowOf(TAutorunSource::UserRun, run + L"Off"), -1);
    EXPECT_EQ(RowOf(TAutorunSource::MachineRun, L"HKLM" + kRun + L"\\Plain"), -1);  // off now, so gone on a rebuild
}

TEST_F(StartupPage, AProductNameIsReadAgainOnceItsFileChanged) {
    TTempDir dir;
    const std::wstring program = dir.File(L"app.exe");
    ASSERT_TRUE(CopyFileW(test::BinaryPath(L"fixtures\\VersionedApp.exe").c_str(), program.c_str(), FALSE));
    TVersionStrings versions;
    ReadVersionStrings(program, {L"ProductName"}, versions);
    Page->Entries = {Entry(TAutorunSource::UserRun, L"App", L"HKCU" + kRun + L"\\App", true, program),
                     Entry(TAutorunSource::UserRun, L"Again", L"HKCU" + kRun + L"\\Again", true, program)};
    Page->LoadAutorun();
    EXPECT_EQ(Shown(), (std::vector<std::wstring>{versions[L"ProductName"], versions[L"ProductName"]}));
    // Replaced by a program without a version resource: F5 shows the captions.
    ASSERT_TRUE(CopyFileW(test::BinaryPath(L"fixtures\\PlainApp.exe").c_str(), program.c_str(), FALSE));
    SendMessageW(Page->ListAutorun->Handle(), WM_KEYDOWN, VK_F5, 0);
    EXPECT_EQ(Shown(), (std::vector<std::wstring>{L"App", L"Again"}));
    // Gone altogether: the caption and the program picture.
    ASSERT_TRUE(DeleteFileW(program.c_str()));
    Page->ChkAllListClick();
    EXPECT_EQ(Shown(), (std::vector<std::wstring>{L"App", L"Again"}));
    EXPECT_EQ(Page->Rows()[0].Icon, 1);
}

TEST_F(StartupPage, ScrollingALongListFindsNamesAndIconsOnTheRowsItReaches) {
    const std::wstring versioned = test::BinaryPath(L"fixtures\\VersionedApp.exe");
    TVersionStrings versions;
    ReadVersionStrings(versioned, {L"ProductName"}, versions);
    const std::wstring product = versions[L"ProductName"];
    ASSERT_FALSE(product.empty());
    // Every third entry starts a file that is not there: its caption and the
    // program picture.
    constexpr int kRows = 300;
    auto caption = [](int Row) { return L"App" + std::to_wstring(Row); };
    for (int i = 0; i < kRows; ++i)
        Page->Entries.push_back(Entry(TAutorunSource::UserRun, caption(i), L"HKCU" + kRun + L"\\" + caption(i), true,
                                      i % 3 == 2 ? L"C:\\nowhere\\" + caption(i) + L".exe" : versioned));
    auto complete = [&](int Row) {
        const TAutorunItem& item = Page->Rows()[static_cast<size_t>(Row)];
        if (Row % 3 == 2) return item.FileName == caption(Row) && item.Icon == 1;
        return item.FileName == product && item.Icon > 3;
    };
    TListView* list = Page->ListAutorun;
    // What the list paints, from the top row it shows down: complete.
    auto expectRowsInViewComplete = [&](const char* Where) {
        const test::TPrintedClient printed(list->Handle(), PRF_CLIENT | PRF_ERASEBKGND);
        const int top = list->TopRow();
        ASSERT_GT(list->RowsPerPage(), 5) << Where;
        for (int row = top; row < top + list->RowsPerPage(); ++row) {
            EXPECT_TRUE(complete(row)) << Where << ", row " << row;
            EXPECT_EQ(Cell(row, 0), row % 3 == 2 ? caption(row) : product) << Where << ", row " << row;
        }
    };

    Page->LoadAutorun();
    ASSERT_EQ(list->RowCount(), kRows);
    expectRowsInViewComplete("first paint");
    EXPECT_EQ(Page->Rows()[kRows - 1].FileName, caption(kRows - 1));  // not read yet: out of view
    for (int row : {40, 150, kRows - 1}) {
        SendMessageW(list->Handle(), LVM_ENSUREVISIBLE, row, FALSE);
        expectRowsInViewComplete(("scrolled to row " + std::to_string(row)).c_str());
    }
    // The rows scrolled past are read in idle time, each file once per load.
    ASSERT_TRUE(PumpUntil([&] {
        for (int row = 0; row < kRows; ++row)
            if (!complete(row)) return false;
        return true;
    }));
    // F5 rebuilds the rows: the rows in view complete again at once.
    SendMessageW(list->Handle(), WM_KEYDOWN, VK_F5, 0);
    expectRowsInViewComplete("after F5");
}

TEST_F(StartupPage, ProtectionListsHideEntriesWhateverAllProgramsSays) {
    NameWhite = {L"  TidoraWhite", L"// a comment"};
    FileWhite = {L"tidorafile.lnk*", L"\\Guarded\\"};
    struct Case {
        TAutorunInfo Info;
        bool Shown;
    };
    const std::wstring run = kRun + L"\\";
    const Case cases[] = {
        {Entry(TAutorunSource::UserRun, L"a", L"HKCU" + run + L"TidoraWhiteValue"), false},
        {Entry(TAutorunSource::MachineRun, L"b", L"HKLM" + run + L"tidorawhite lower case"), false},
        {Entry(TAutorunSource::MachineRun, L"c", L"HKLM" + run + L"Drive:TidoraWhiteAfterColon"), false},
        {Entry(TAutorunSource::UserRun, L"d", L"HKCU" + run + L"MyTidoraWhite"), true},
        {Entry(TAutorunSource::ScheduledTask, L"e", L"\\TidoraWhiteTask"), false},
        {Entry(TAutorunSource::ScheduledTask, L"f", L"\\OtherTask"), true},
        {Entry(TAutorunSource::Service, L"g", L"TidoraWhiteService"), false},
        {Entry(TAutorunSource::Service, L"TidoraWhite by its display name", L"OtherService"), true},
        {Entry(TAutorunSource::StartupFile, L"h", L"C:\\Startup\\TidoraFile.lnk"), false},
        {Entry(TAutorunSource::StartupFile, L"i", L"C:\\Guarded\\x.lnk"), false},
        {Entry(TAutorunSource::StartupFile, L"j", L"C:\\Startup\\TidoraWhiteFile.lnk"), true},
    };
    for (bool all : {false, true}) {
        for (bool enabled : {true, false}) {
            SCOPED_TRACE(testing::Message() << "all " << all << ", enabled " << enabled);
            Page->Entries.clear();
            for (const Case& c : cases) {
                Page->Entries.push_back(c.Info);
                Page->Entries.back().Enabled = enabled;
            }
            Page->ChkAllList->SetChecked(all);
            Page->ChkAllListClick();
            for (const Case& c : cases) {
                const bool expected = c.Shown && (enabled || all);
                EXPECT_EQ(RowOf(c.Info.From, c.Info.Target) >= 0, expected) << testing::PrintToString(c.Info.Target);
            }
        }
    }
}

TEST_F(StartupPage, SavesEveryCollectedEntryByteForByte) {
    Page->Entries = {
        Entry(TAutorunSource::StartupFile, L"Example", L"C:\\Startup\\Example.lnk"),
        Entry(TAutorunSource::MachineRun, L"Agent", L"HKLM" + kRun + L"\\Agent", false, L"C:\\a.exe"),
        Entry(TAutorunSource::UserRun, L"", L"HKCU" + kRun + L"\\", true, L"C:\\default.exe"),
        Entry(TAutorunSource::Service, L"\uC11C\uBE44\uC2A4 a|b", L"KoSvc"),
        Entry(TAutorunSource::ScheduledTask, L"TidoraWhiteTask", L"\\TidoraWhiteTask"),
    };
    NameWhite = {L"TidoraWhite"};
    Page->LoadAutorun();
    ASSERT_EQ(Page->Rows().size(), 2u);  // hidden entries are saved all the same
    const std::string expected = std::string("\xEF\xBB\xBF") +
                                 "FILE|Example|C:\\Startup\\Example.lnk\r\n"
                                 "HKLM|Agent|HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Agent\r\n"
                                 "HKCU||HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\r\n"
                                 "SERV|\xEC\x84\x9C\xEB\xB9\x84\xEC\x8A\xA4 a|b|KoSvc\r\n"
                                 "SCHE|TidoraWhiteTask|\\TidoraWhiteTask\r\n";
    TTempDir dir;
    // Through the menu item, with the dialog's answers: cancel, then a file.
    Page->Answers = {L"", dir.File(L"list.txt")};
    Page->BtnSave->OnClick(Page->BtnSave);
    EXPECT_EQ(GetFileAttributesW(dir.File(L"list.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    Page->BtnSave->OnClick(Page->BtnSave);
    EXPECT_EQ(test::ReadFileBytes(dir.File(L"list.txt")), expected);
    // An existing file is replaced, not appended to.
    Page->Entries.resize(1);
    Page->LoadAutorun();
    std::wstring error;
    ASSERT_TRUE(Page->SaveToFile(dir.File(L"list.txt"), error)) << error;
    EXPECT_EQ(test::ReadFileBytes(dir.File(L"list.txt")), "\xEF\xBB\xBF" "FILE|Example|C:\\Startup\\Example.lnk\r\n");
}

BOOL CALLBACK FindDialog(HWND Window, LPARAM Found) {
    wchar_t name[32] = {};
    GetClassNameW(Window, name, 32);
    if (wcscmp(name, L"#32770") != 0 || !IsWindowVisible(Window)) return TRUE;
    *reinterpret_cast<HWND*>(Found) = Window;
    return FALSE;
}

// A dialog the UI thread shows (a message box, the error window): its texts,
// read from another thread, which then answers it with Command.
std::wstring AnswerDialog(DWORD UIThread, DWORD TimeoutMs, WORD Command = IDOK) {
    const ULONGLONG end = GetTickCount64() + TimeoutMs;
    while (GetTickCount64() < end) {
        HWND box = nullptr;
        EnumThreadWindows(UIThread, FindDialog, reinterpret_cast<LPARAM>(&box));
        if (box) {
            std::wstring text;
            for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                wchar_t part[1024] = {};
                GetWindowTextW(child, part, 1024);
                text += part;
                text += L"\n";
            }
            PostMessageW(box, WM_COMMAND, Command, 0);
            return text;
        }
        Sleep(20);
    }
    return L"(no message box)";
}

TEST_F(StartupPage, AFailedSaveWarnsWithTheSystemsMessageInTheUsersLanguage) {
    SetCurrentLanguage(L"en");
    Page->Entries = {Entry(TAutorunSource::Service, L"Spooler", L"Spooler")};
    Page->LoadAutorun();
    TTempDir dir;
    const std::wstring path = dir.File(L"missing folder\\list.txt");
    std::wstring error;
    EXPECT_FALSE(Page->SaveToFile(path, error));
    EXPECT_EQ(error, SystemErrorMessage(ERROR_PATH_NOT_FOUND) + L" (" + path + L")");

    Page->Answers = {path};
    std::wstring shown;
    std::thread answer([&, ui = GetCurrentThreadId()] { shown = AnswerDialog(ui, 20000); });
    Page->BtnSaveClick();
    answer.join();
    EXPECT_NE(shown.find(L"An error has occurred.\r\n" + error), std::wstring::npos) << testing::PrintToString(shown);
}

TEST_F(StartupPage, ASwitchThatFailsShowsTheErrorWindowAndTheButtonComesBack) {
    // Before Windows 10 switching a startup file off deletes it; a file held
    // open without delete sharing cannot go.
    Windows10 = false;
    SetCurrentLanguage(L"en");
    TTempDir dir;
    const std::wstring file = dir.File(L"Held.lnk");
    ASSERT_TRUE(test::WriteFileBytes(file, "x"));
    UniqueFileHandle held(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    Page->Entries = {Entry(TAutorunSource::StartupFile, L"Held", file, true, file)};
    Page->LoadAutorun();
    ASSERT_EQ(Page->Rows().size(), 1u);
    Page->ListAutorun->SelectRow(0);
    const int collections = Page->Collections;
    std::wstring shown;
    std::thread answer([&, ui = GetCurrentThreadId()] { shown = AnswerDialog(ui, 20000, IDCLOSE); });
    SendMessageW(Page->BtnAutorun->Handle(), BM_CLICK, 0, 0);
    answer.join();
    EXPECT_NE(shown.find(L"An error has occurred."), std::wstring::npos) << testing::PrintToString(shown);
    EXPECT_NE(shown.find(file), std::wstring::npos) << testing::PrintToString(shown);
    EXPECT_TRUE(Page->BtnAutorun->Enabled());
    // The list is read again all the same and shows the entry as it is.
    EXPECT_EQ(Page->Collections, collections + 1);
    EXPECT_EQ(Page->Rows().size(), 1u);
    EXPECT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
}

// ---- the real machine of the prefix ----

// Values and services made here, removed again when the test ends.
class TMachineScratch {
public:
    ~TMachineScratch() {
        for (const auto& v : FValues) TReg::DeleteValue(v.Root, v.Key, v.Name);
        UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        for (const std::wstring& name : FServices) {
            UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), DELETE));
            if (service) DeleteService(service.get());
        }
    }
    void Text(HKEY Root, const std::wstring& Key, const std::wstring& Name, const std::wstring& Value) {
        FValues.push_back({Root, Key, Name});
        TReg::WriteString(Root, Key, Name, Value);
    }
    void Binary(HKEY Root, const std::wstring& Key, const std::wstring& Name, const TBytes& Value) {
        FValues.push_back({Root, Key, Name});
        TReg::WriteBinary(Root, Key, Name, Value);
    }
    void Watch(HKEY Root, const std::wstring& Key, const std::wstring& Name) { FValues.push_back({Root, Key, Name}); }
    void Service(const std::wstring& Name, DWORD Start) {
        UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
        ASSERT_TRUE(manager);
        FServices.push_back(Name);
        UniqueServiceHandle service(CreateServiceW(manager.get(), Name.c_str(), (Name + L" display").c_str(),
                                                   SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, Start,
                                                   SERVICE_ERROR_IGNORE, L"C:\\nowhere\\service.exe", nullptr,
                                                   nullptr, nullptr, nullptr, nullptr));
        const DWORD error = GetLastError();
        ASSERT_TRUE(service) << "CreateService failed with " << error;
    }

private:
    struct TValue {
        HKEY Root;
        std::wstring Key, Name;
    };
    std::vector<TValue> FValues;
    std::vector<std::wstring> FServices;
};

TEST_F(StartupPage, OnThePrefixSwitchingOffKeepsTheRowGreyUntilF5AndTheProtectedNeverShow) {
    SetCurrentLanguage(L"en");
    MakePage();  // translated into English
    EXPECT_EQ(Page->BtnAutorun->Caption(), L"Disable");
    EXPECT_EQ(Page->ChkAllList->Caption(), L"All Programs");

    test::TUserHive hive;  // per-user values of this test only
    TMachineScratch scratch;
    const std::wstring stem = UniqueName(L"TidoraPage");
    const std::wstring white = UniqueName(L"TidoraPageWhite") + L"_";
    NameWhite = {white};
    const std::wstring versioned = test::BinaryPath(L"fixtures\\VersionedApp.exe");
    const std::wstring on = stem + L"_On", off = stem + L"_Off";
    scratch.Text(HKEY_CURRENT_USER, kRun, on, L"\"" + versioned + L"\" /tray");
    scratch.Text(HKEY_CURRENT_USER, kRun, off, L"C:\\nowhere\\off.exe");
    scratch.Binary(HKEY_CURRENT_USER, kApprovedRun, off, MakeStartupApprovedValue(false));
    scratch.Text(HKEY_CURRENT_USER, kRun, L"", L"C:\\nowhere\\default.exe");
    scratch.Text(HKEY_CURRENT_USER, kRun, white + L"Value", L"C:\\nowhere\\white.exe");
    scratch.Watch(HKEY_CURRENT_USER, kApprovedRun, on);
    scratch.Service(stem + L"Auto", SERVICE_AUTO_START);
    scratch.Service(stem + L"Demand", SERVICE_DEMAND_START);
    scratch.Service(white + L"Service", SERVICE_AUTO_START);

    Page->Real = true;
    Page->LoadAutorun();
    const std::wstring hkcu = L"HKCU" + kRun + L"\\";
    const int onRow = RowOf(TAutorunSource::UserRun, hkcu + on);
    ASSERT_GE(onRow, 0);
    TVersionStrings versions;
    ReadVersionStrings(versioned, {L"ProductName"}, versions);
    EXPECT_EQ(Cell(onRow, 0), versions[L"ProductName"]);  // read when the list shows the row
    EXPECT_FALSE(Grey(onRow));
    EXPECT_GE(RowOf(TAutorunSource::Service, stem + L"Auto"), 0);
    EXPECT_EQ(RowOf(TAutorunSource::Service, stem + L"Demand"), -1);
    EXPECT_EQ(RowOf(TAutorunSource::UserRun, hkcu + off), -1);
    EXPECT_EQ(RowOf(TAutorunSource::UserRun, hkcu), -1);
    EXPECT_EQ(RowOf(TAutorunSource::UserRun, hkcu + white + L"Value"), -1);
    EXPECT_EQ(RowOf(TAutorunSource::Service, white + L"Service"), -1);

    // All Programs: the switched-off ones in grey; the protected and the
    // unnamed default value still not.
    TickAllPrograms();
    ASSERT_GE(RowOf(TAutorunSource::UserRun, hkcu + off), 0);
    EXPECT_TRUE(Grey(RowOf(TAutorunSource::UserRun, hkcu + off)));
    ASSERT_GE(RowOf(TAutorunSource::Service, stem + L"Demand"), 0);
    EXPECT_TRUE(Grey(RowOf(TAutorunSource::Service, stem + L"Demand")));
    EXPECT_EQ(RowOf(TAutorunSource::UserRun, hkcu), -1);
    EXPECT_EQ(RowOf(TAutorunSource::UserRun, hkcu + white + L"Value"), -1);
    EXPECT_EQ(RowOf(TAutorunSource::Service, white + L"Service"), -1);
    TickAllPrograms();
    EXPECT_EQ(RowOf(TAutorunSource::UserRun, hkcu + off), -1);

    // A click on a row shows what the button would do to it.
    const int autoService = RowOf(TAutorunSource::Service, stem + L"Auto");
    ClickRow(autoService);
    EXPECT_FALSE(Page->BtnAutorun->Down());
    EXPECT_EQ(Page->BtnAutorun->Caption(), L"Disable");

    // Switching the shown entry off: written the way Windows 10 does it, the
    // row stays in place, grey, the button pressed and offering "Enable".
    const int row = RowOf(TAutorunSource::UserRun, hkcu + on);
    Page->ListAutorun->SelectRow(row);
    const size_t rowsBefore = Page->Rows().size();
    SendMessageW(Page->BtnAutorun->Handle(), BM_CLICK, 0, 0);
    const TBytes approved = TReg::ReadBinary(HKEY_CURRENT_USER, kApprovedRun, on);
    ASSERT_EQ(approved.size(), 12u);
    EXPECT_EQ(approved[0], 3);
    EXPECT_EQ(RowOf(TAutorunSource::UserRun, hkcu + on), row);
    EXPECT_EQ(Page->Rows().size(), rowsBefore);
    EXPECT_TRUE(Grey(row));
    EXPECT_TRUE(Page->BtnAutorun->Down());
    EXPECT_EQ(Page->BtnAutorun->Caption(), L"Enable");
    EXPECT_TRUE(Page->BtnAutorun->Enabled());
    ClickRow(autoService);
    EXPECT_FALSE(Page->BtnAutorun->Down());
    ClickRow(row);
    EXPECT_TRUE(Page->BtnAutorun->Down());
    EXPECT_EQ(Page->BtnAutorun->Caption(), L"Enable");

    // F5 rebuilds the list: the switched-off entry goes.
    SendMessageW(Page->ListAutorun->Handle(), WM_KEYDOWN, VK_F5, 0);
    EXPECT_EQ(RowOf(TAutorunSource::UserRun, hkcu + on), -1);
    EXPECT_GE(RowOf(TAutorunSource::Service, stem + L"Auto"), 0);

    // The unnamed default value is saved with the rest.
    TTempDir dir;
    std::wstring error;
    ASSERT_TRUE(Page->SaveToFile(dir.File(L"all.txt"), error)) << error;
    const std::string bytes = test::ReadFileBytes(dir.File(L"all.txt"));
    ASSERT_EQ(bytes.compare(0, 3, "\xEF\xBB\xBF"), 0);
    // Every line, the first too, between two line ends.
    const std::string saved = "\r\n" + bytes.substr(3);
    EXPECT_NE(saved.find("\r\nHKCU||HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\r\n"), std::string::npos);
    EXPECT_NE(saved.find("\r\nHKCU|" + WideToUtf8(on) + "|" + WideToUtf8(hkcu + on) + "\r\n"), std::string::npos);
}

TEST_F(StartupPage, DoubleClickOnAMachineWideRowHandsItsSourceAndAddressToTheOpener) {
    TMachineScratch scratch;
    // A name with a space, "#", "?", "%" and a letter outside ASCII.
    const std::wstring tail = UniqueName(L"p");
    const std::wstring name = L"Tidora Page #1?%\u00C4" + tail;
    scratch.Text(HKEY_LOCAL_MACHINE, kRun, name, L"C:\\nowhere\\page.exe");
    std::vector<std::pair<TAutorunSource, std::wstring>> opened;
    Page->SetEntryPageOpener(
        [&](TAutorunSource From, const std::wstring& Target) { opened.emplace_back(From, Target); });
    Page->Real = true;
    Page->LoadAutorun();
    const int row = RowOf(TAutorunSource::MachineRun, L"HKLM" + kRun + L"\\" + name);
    ASSERT_GE(row, 0);

    // Nothing focused yet: a double click on the empty area does nothing.
    const HWND list = Page->ListAutorun->Handle();
    const RECT client = Page->ListAutorun->ClientRect();
    SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(client.right - 5, client.bottom - 5));
    EXPECT_TRUE(opened.empty());

    Page->ListAutorun->SelectRow(row);
    const RECT r = Page->ListAutorun->RowRect(row);
    SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(r.left + 30, (r.top + r.bottom) / 2));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].first, TAutorunSource::MachineRun);
    EXPECT_EQ(opened[0].second, L"HKLM" + kRun + L"\\" + name);
}

// ---- the list the usage report reads ----

TEST_F(StartupPage, AReaderGetsTheListBeforeOrAfterAReloadNeverOneBeingFilled) {
    // Each collection k holds k + 1 entries captioned "k"; halfway through it
    // serves the hand-overs that are waiting, as the scheduler's COM calls
    // pump messages on the UI thread.
    std::atomic<bool> collecting{false};
    int generation = 0;
    Page->Collecting = [&](TAutorunList& List) {
        ++generation;
        collecting = true;
        for (int i = 0; i <= generation; ++i) {
            List.push_back(Entry(TAutorunSource::Service, std::to_wstring(generation), L"Svc" + std::to_wstring(i)));
            if (i == generation / 2) {
                // Wait a little for the reader's next turn, so every reload
                // is read in the middle at least once.
                for (int wait = 0; wait < 50 && !ServeHandOvers(); ++wait) Sleep(1);
            }
        }
        collecting = false;
    };
    auto consistent = [](const TAutorunList& List) {
        if (List.empty()) return true;
        const std::wstring caption = List.front().Caption;
        if (List.size() != static_cast<size_t>(std::stoi(caption)) + 1) return false;
        return std::all_of(List.begin(), List.end(), [&](const TAutorunInfo& e) { return e.Caption == caption; });
    };

    std::atomic<bool> stop{false};
    std::atomic<int> reads{0}, midReload{0}, bad{0};
    // The report's way: a copy taken on the UI thread through the hand-over.
    std::thread handOver([&] {
        while (!stop) {
            TAutorunList copy;
            bool during = false;
            Synchronize([&] {
                during = collecting;
                const auto list = Page->Snapshot();
                if (!consistent(*list)) ++bad;
                copy = *list;
            });
            ++reads;
            if (during) ++midReload;
        }
    });
    // Any thread may also hold the list directly.
    std::thread direct([&] {
        while (!stop) {
            const std::shared_ptr<const TAutorunList> list = Page->Snapshot();
            if (!consistent(*list)) ++bad;
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 200; ++i) Page->LoadAutorun();
    stop = true;
    // The hand-over thread may be waiting for one more turn: serve it while
    // it ends.
    UniqueHandle idle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread closer([&] {
        handOver.join();
        SetEvent(idle.get());
    });
    EXPECT_EQ(WaitServing(idle.get(), 10000), WAIT_OBJECT_0);
    closer.join();
    direct.join();
    EXPECT_EQ(bad, 0);
    EXPECT_GE(midReload, 150) << "too few reads fell inside a reload to prove anything";
    EXPECT_EQ(Page->Snapshot()->size(), 201u);
}

// ---- pictures ----

std::wstring HeaderText(HWND List, int Column) {
    wchar_t text[64] = {};
    HDITEMW item{};
    item.mask = HDI_TEXT;
    item.pszText = text;
    item.cchTextMax = 64;
    SendMessageW(ListView_GetHeader(List), HDM_GETITEMW, Column, reinterpret_cast<LPARAM>(&item));
    return text;
}

TEST(StartupPageShots, InKoreanAndEnglish) {
    const std::wstring saved = CurrentLanguage();
    SetCursorPos(0, 0);
    TFormOptions o;
    o.ClassName = L"TidoraStartupPageShot";
    o.BorderStyle = TBorderStyle::bsSingle;
    o.ClientWidth = 448;
    o.ClientHeight = 367;
    TForm form(o);
    form.SetColor(RGB(255, 255, 255));
    form.SetFont(TFontSpec{L"Segoe UI", 12});
    auto* cards = TWindow::Create<TCardPanel>(&form, L"Cards", TBounds{0, 0, 448, 367}, TAlign::alClient);
    const std::wstring versioned = test::BinaryPath(L"fixtures\\VersionedApp.exe");
    const TAutorunList entries = {
        Entry(TAutorunSource::MachineRun, L"Versioned", L"HKLM" + kRun + L"\\Versioned", true, versioned),
        Entry(TAutorunSource::UserRun, L"\uBA54\uC2E0\uC800", L"HKCU" + kRun + L"\\Messenger", true,
              L"C:\\nowhere\\m.exe"),
        Entry(TAutorunSource::StartupFile, L"Notes", L"C:\\Startup\\Notes.lnk", false, L"C:\\nowhere\\notes.exe"),
        Entry(TAutorunSource::ScheduledTask, L"Nightly Update", L"\\Nightly Update"),
        Entry(TAutorunSource::Service, L"Print Spooler", L"Spooler", false),
        Entry(TAutorunSource::Service, L"Windows Update", L"wuauserv"),
    };
    struct Shot {
        const wchar_t* Language;
        const wchar_t* Disable;
        const wchar_t* All;
        const wchar_t* Program;
        const wchar_t* Loc;
    };
    const Shot shots[] = {{L"ko", L"사용안함", L"전체목록", L"프로그램 이름", L"출처"},
                          {L"en", L"Disable", L"All Programs", L"Program", L"Loc"}};
    form.CenterOnScreen();
    form.ShowForm();
    for (const Shot& shot : shots) {
        SetCurrentLanguage(shot.Language);
        auto* card = TWindow::Create<TPanel>(cards, shot.Language, TBounds{}, TAlign::alClient);
        auto* page = TWindow::Create<TTestAutorunPage>(card, L"FrmAutorun", TBounds{0, 0, 448, 367}, TAlign::alClient);
        cards->SetActiveCardIndex(cards->CardCount() - 1);
        page->Entries = entries;
        page->ChkAllList->SetChecked(true);
        page->LoadAutorun();
        page->ListAutorun->SelectRow(1);
        EXPECT_EQ(page->BtnAutorun->Caption(), shot.Disable);
        EXPECT_EQ(page->ChkAllList->Caption(), shot.All);
        EXPECT_EQ(HeaderText(page->ListAutorun->Handle(), 0), shot.Program);
        EXPECT_EQ(HeaderText(page->ListAutorun->Handle(), 1), shot.Loc);
        EXPECT_EQ(page->BtnSave->Caption(), L"목록 저장");  // the table has no row for it
        // Laid out as designed: the bottom panel 49 high, the button 84 x 33 at its right.
        const RECT panel = page->PnlAutorun->BoundsRect(), button = page->BtnAutorun->BoundsRect();
        EXPECT_EQ(panel.bottom - panel.top, form.Scale(49));
        EXPECT_EQ(button.right - button.left, form.Scale(84));
        EXPECT_EQ(button.right, panel.right - panel.left);
        EXPECT_EQ(page->ListAutorun->BoundsRect().bottom, panel.top);
        Pump(100);
        EXPECT_TRUE(test::SaveWindowShot(form.Handle(), test::ScreenshotPath(std::wstring(L"autorun-") + shot.Language)));
    }
    SetCurrentLanguage(saved);
}

} // namespace
