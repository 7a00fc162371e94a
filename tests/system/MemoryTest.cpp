#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system/Handles.h"
#include "system/Memory.h"

using namespace tidora;

namespace {

struct TNativeCall {
    ULONG InfoClass;
    ULONG Length;
    std::string Block;
    bool operator==(const TNativeCall& Other) const {
        return InfoClass == Other.InfoClass && Length == Other.Length && Block == Other.Block;
    }
};

void PrintTo(const TNativeCall& Call, std::ostream* Out) {
    *Out << "{class " << Call.InfoClass << ", length " << Call.Length << ", bytes";
    for (unsigned char b : Call.Block) *Out << ' ' << std::hex << static_cast<int>(b) << std::dec;
    *Out << '}';
}

std::vector<TNativeCall> gCalls;

LONG NTAPI RecordCall(ULONG InfoClass, PVOID Info, ULONG Length) {
    gCalls.push_back({InfoClass, Length, std::string(static_cast<const char*>(Info), Length)});
    return 0;
}

// The trim step, recorded through its own seam among the native calls.
const TNativeCall kTrim{0, 0, "trim"};
void RecordTrim() {
    gCalls.push_back(kTrim);
}

TNativeCall Command(char Value) {
    return {80, 4, std::string({Value, 0, 0, 0})};
}

const TNativeCall kFileCache{21, 36,
                             std::string(12, '\0') + std::string(8, '\xFF') + std::string(16, '\0')};
const TNativeCall kCombine{130, 24, std::string(24, '\0')};

class PurgeMemoryTest : public testing::Test {
protected:
    void SetUp() override {
        gCalls.clear();
        Platform.SetSystemInformation = RecordCall;
        Platform.TrimProcesses = RecordTrim;
    }
    TPlatform Platform = RealPlatform();
};

TEST_F(PurgeMemoryTest, CleaningFlagsPassTheBlocksInStepOrder) {
    // 126: the trim step runs between the file cache and the low-priority
    // standby list.
    PurgeMemory(126, Platform);
    EXPECT_EQ(gCalls, (std::vector<TNativeCall>{kFileCache, kTrim, Command(5), Command(4), Command(3), kCombine}));
}

TEST_F(PurgeMemoryTest, EachFlagAloneAndAllTogether) {
    struct Case {
        uint8_t Flags;
        std::vector<TNativeCall> Expected;
    };
    const Case cases[] = {
        {0, {}},
        {0x80, {}},
        {PurgeTrimProcesses, {kTrim}},
        {PurgeEmptyWorkingSets, {Command(2)}},
        {PurgeStandbyList, {Command(4)}},
        {PurgeLowPriorityStandbyList, {Command(5)}},
        {PurgeModifiedList, {Command(3)}},
        {PurgeFileCache, {kFileCache}},
        {PurgeCombinePages, {kCombine}},
        {0xFF, {kFileCache, Command(2), kTrim, Command(5), Command(4), Command(3), kCombine}},
    };
    for (const Case& c : cases) {
        gCalls.clear();
        PurgeMemory(c.Flags, Platform);
        EXPECT_EQ(gCalls, c.Expected) << "flags " << static_cast<int>(c.Flags);
    }
}

TEST(GetPhysicalMemory, KindsAndByteCounts) {
    const int64_t total = GetPhysicalMemory(0);
    const int64_t avail = GetPhysicalMemory(1);
    EXPECT_GT(total, int64_t(64) << 20);  // bytes, not kilobytes
    EXPECT_GT(avail, 0);
    EXPECT_LE(avail, total);
    EXPECT_EQ(GetTotalMemory(), total);
    for (uint8_t kind : {2, 3, 255}) EXPECT_EQ(GetPhysicalMemory(kind), -1) << int(kind);
}

// The attributes the own token holds for a privilege; -1 when it is not listed.
long PrivilegeAttributes(const wchar_t* Name) {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return -1;
    LUID luid{};
    if (!LookupPrivilegeValueW(nullptr, Name, &luid)) return -1;
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenPrivileges, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (!GetTokenInformation(token.get(), TokenPrivileges, buffer.data(), size, &size)) return -1;
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i)
        if (privileges->Privileges[i].Luid.LowPart == luid.LowPart &&
            privileges->Privileges[i].Luid.HighPart == luid.HighPart)
            return static_cast<long>(privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED);
    return -1;
}

std::vector<long> AllPrivileges() {
    std::vector<long> all;
    for (const wchar_t* name : {L"SeProfileSingleProcessPrivilege", L"SeIncreaseBasePriorityPrivilege",
                                L"SeDebugPrivilege", L"SeIncreaseQuotaPrivilege", L"SeShutdownPrivilege"})
        all.push_back(PrivilegeAttributes(name));
    return all;
}

TEST(SetPrivilege, StartUpEnablesFourAndUnknownNamesChangeNothing) {
    // The test program ran the start-up steps before this test.
    for (const wchar_t* name : {L"SeProfileSingleProcessPrivilege", L"SeIncreaseBasePriorityPrivilege",
                                L"SeDebugPrivilege", L"SeIncreaseQuotaPrivilege"})
        EXPECT_EQ(PrivilegeAttributes(name), SE_PRIVILEGE_ENABLED) << name;

    const std::vector<long> before = AllPrivileges();
    EXPECT_FALSE(SetPrivilege(L"SeNoSuchPrivilege", true));
    EXPECT_FALSE(SetPrivilege(L"", true));
    EXPECT_EQ(AllPrivileges(), before);
}

TEST(SetPrivilege, APrivilegeTheAccountDoesNotHoldAnswersFalse) {
    // AdjustTokenPrivileges itself succeeds here, with ERROR_NOT_ALL_ASSIGNED.
    const wchar_t* unheld = nullptr;
    for (const wchar_t* name : {L"SeTcbPrivilege", L"SeCreateTokenPrivilege", L"SeLockMemoryPrivilege",
                                L"SeTrustedCredManAccessPrivilege", L"SeRelabelPrivilege"})
        if (LUID luid{}; !unheld && LookupPrivilegeValueW(nullptr, name, &luid) && PrivilegeAttributes(name) == -1)
            unheld = name;
    ASSERT_NE(unheld, nullptr) << "the token holds every candidate";
    EXPECT_FALSE(SetPrivilege(unheld, true)) << unheld;
    EXPECT_EQ(PrivilegeAttributes(unheld), -1) << unheld;
}

TEST(SetPrivilege, DisablesAndEnablesAgain) {
    ASSERT_TRUE(SetPrivilege(L"SeIncreaseQuotaPrivilege", false));
    EXPECT_EQ(PrivilegeAttributes(L"SeIncreaseQuotaPrivilege"), 0);
    EXPECT_TRUE(SetPrivilege(L"SeIncreaseQuotaPrivilege", true));
    EXPECT_EQ(PrivilegeAttributes(L"SeIncreaseQuotaPrivilege"), SE_PRIVILEGE_ENABLED);
}

} // namespace
