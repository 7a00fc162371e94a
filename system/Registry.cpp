#include "system/Registry.h"

#include "system/Handles.h"
#include "system/Strings.h"

namespace tidora {
namespace {

constexpr REGSAM kReadMasks[] = {
    KEY_READ | KEY_WOW64_64KEY,
    STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY,
    KEY_QUERY_VALUE | KEY_WOW64_64KEY,
};
constexpr REGSAM kWriteMask = KEY_READ | KEY_WRITE | KEY_WOW64_64KEY;

// Callers mostly write a leading backslash; the registry wants none.
const wchar_t* SubKey(const std::wstring& key) {
    return key.c_str() + (!key.empty() && key[0] == L'\\' ? 1 : 0);
}

UniqueHKey OpenForRead(HKEY root, const std::wstring& key) {
    if (!root) return {};
    for (REGSAM mask : kReadMasks) {
        HKEY h = nullptr;
        if (RegOpenKeyExW(root, SubKey(key), 0, mask, &h) == ERROR_SUCCESS) return UniqueHKey(h);
    }
    return {};
}

UniqueHKey OpenForWrite(HKEY root, const std::wstring& key, bool create) {
    if (!root) return {};
    HKEY h = nullptr;
    LSTATUS status = create ? RegCreateKeyExW(root, SubKey(key), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                              kWriteMask, nullptr, &h, nullptr)
                            : RegOpenKeyExW(root, SubKey(key), 0, kWriteMask, &h);
    return status == ERROR_SUCCESS ? UniqueHKey(h) : UniqueHKey();
}

struct RawValue {
    DWORD Type = REG_NONE;
    TBytes Data;
};

// False when the value is missing or unreadable; a value that grows between the
// size query and the read is asked for once more.
bool QueryValue(HKEY key, const std::wstring& name, RawValue& out) {
    // Most values fit a small buffer: one registry call instead of a size
    // query and a read, which halves the cost of reading whole records.
    BYTE small[512];
    DWORD smallType = 0, smallSize = sizeof(small);
    LSTATUS first = RegQueryValueExW(key, name.c_str(), nullptr, &smallType, small, &smallSize);
    if (first == ERROR_SUCCESS) {
        out.Type = smallType;
        out.Data.assign(small, small + smallSize);
        return true;
    }
    if (first != ERROR_MORE_DATA) return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD type = 0, size = 0;
        if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
        TBytes data(size);
        DWORD got = size;
        LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &type, size ? data.data() : nullptr, &got);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return false;
        data.resize(got);
        out.Type = type;
        out.Data = std::move(data);
        return true;
    }
    return false;
}

bool IsDword(const RawValue& v) {
    return v.Type == REG_DWORD && v.Data.size() >= sizeof(DWORD);
}

DWORD AsDword(const RawValue& v) {
    DWORD value = 0;
    memcpy(&value, v.Data.data(), sizeof(value));
    return value;
}

// Text up to the first NUL, never expanded.
std::wstring AsText(const uint8_t* Data, size_t Size) {
    std::wstring text(Size / sizeof(wchar_t), L'\0');
    if (!text.empty()) memcpy(&text[0], Data, text.size() * sizeof(wchar_t));
    size_t nul = text.find(L'\0');
    if (nul != std::wstring::npos) text.resize(nul);
    return text;
}

std::wstring AsText(const RawValue& v) {
    return AsText(v.Data.data(), v.Data.size());
}

bool IsText(const RawValue& v) {
    return v.Type == REG_SZ || v.Type == REG_EXPAND_SZ;
}

void SetValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type, const void* data,
              DWORD size) {
    UniqueHKey k = OpenForWrite(root, key, true);
    if (k) RegSetValueExW(k.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
}

// Children before parents, highest index first, so enumeration never skips.
void DeleteTree(HKEY parent, const std::wstring& name) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(parent, name.c_str(), 0, kWriteMask, &raw) != ERROR_SUCCESS) return;
    UniqueHKey key(raw);
    DWORD count = 0, maxLen = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &count, &maxLen, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        std::wstring child(maxLen + 1, L'\0');
        for (DWORD i = count; i-- > 0;) {
            DWORD len = maxLen + 1;
            if (RegEnumKeyExW(key.get(), i, &child[0], &len, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
                DeleteTree(key.get(), child.substr(0, len));
        }
    }
    key.reset();
    RegDeleteKeyExW(parent, name.c_str(), KEY_WOW64_64KEY, 0);
}

// What a key holds at one moment, as far as an enumeration of it cares: making
// or deleting a subkey or value changes the counts or the last write time.
struct KeyStamp {
    DWORD Subkeys = 0, MaxSubkey = 0, Values = 0, MaxValue = 0, MaxData = 0;
    FILETIME Written{};
    bool operator==(const KeyStamp& o) const {
        return Subkeys == o.Subkeys && MaxSubkey == o.MaxSubkey && Values == o.Values && MaxValue == o.MaxValue &&
               MaxData == o.MaxData && CompareFileTime(&Written, &o.Written) == 0;
    }
};

bool StampKey(HKEY key, KeyStamp& stamp) {
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &stamp.Subkeys, &stamp.MaxSubkey, nullptr, &stamp.Values,
                            &stamp.MaxValue, &stamp.MaxData, nullptr, &stamp.Written) == ERROR_SUCCESS;
}

// Enumeration goes by index: an entry deleted meanwhile lets the next one slide
// into an index already passed, and that entry would be missing although it
// exists. Pass (one enumeration, which starts afresh each time) therefore runs
// again while the key changes under it; the last pass counts when it keeps
// changing (whoever watches the key sees that change and reads it again).
constexpr int kEnumerationPasses = 5;

template <typename Pass>
void ReadSteadily(HKEY key, Pass pass) {
    KeyStamp before;
    if (!StampKey(key, before)) return;
    for (int attempt = 0; attempt < kEnumerationPasses; ++attempt) {
        pass(before);
        KeyStamp after;
        if (!StampKey(key, after) || after == before) return;
        before = after;
    }
}

template <typename Enum>
int ReadNames(HKEY root, const std::wstring& key, TStrings& names, bool values, const TPlatform& platform,
              Enum enumerate) {
    names.clear();
    UniqueHKey k = OpenForRead(root, key);
    if (!k) return 0;
    ReadSteadily(k.get(), [&](const KeyStamp& stamp) {
        names.clear();
        const DWORD count = values ? stamp.Values : stamp.Subkeys;
        std::wstring buffer((values ? stamp.MaxValue : stamp.MaxSubkey) + 1, L'\0');
        for (DWORD i = 0; i < count; ++i) {
            DWORD len = static_cast<DWORD>(buffer.size());
            LSTATUS status = enumerate(k.get(), i, &buffer[0], &len);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status == ERROR_SUCCESS) names.push_back(buffer.substr(0, len));
            if (platform.KeyEnumerationStep) platform.KeyEnumerationStep(k.get(), i);
        }
    });
    return static_cast<int>(names.size());
}

} // namespace

UniqueHKey TReg::OpenRead(HKEY RootKey, const std::wstring& Key) {
    return OpenForRead(RootKey, Key);
}

bool TReg::IsKey(HKEY RootKey, const std::wstring& Key) {
    return static_cast<bool>(OpenForRead(RootKey, Key));
}

TBytes TReg::ReadBinary(HKEY RootKey, const std::wstring& Key, const std::wstring& Name) {
    UniqueHKey k = OpenForRead(RootKey, Key);
    return k ? ReadBinaryDef(k.get(), Name) : TBytes();
}

bool TReg::ReadBool(HKEY RootKey, const std::wstring& Key, const std::wstring& Name, bool Value) {
    UniqueHKey k = OpenForRead(RootKey, Key);
    return k ? ReadBoolDef(k.get(), Name, Value) : Value;
}

int32_t TReg::ReadInteger(HKEY RootKey, const std::wstring& Key, const std::wstring& Name, int32_t Value) {
    UniqueHKey k = OpenForRead(RootKey, Key);
    RawValue v;
    if (!k || !QueryValue(k.get(), Name, v)) return Value;
    // A big-endian DWORD is taken byte for byte, as a plain DWORD would be.
    if ((v.Type == REG_DWORD || v.Type == REG_DWORD_BIG_ENDIAN) && v.Data.size() >= sizeof(DWORD))
        return static_cast<int32_t>(AsDword(v));
    return Value;
}

std::wstring TReg::ReadString(HKEY RootKey, const std::wstring& Key, const std::wstring& Name,
                              const std::wstring& Value) {
    UniqueHKey k = OpenForRead(RootKey, Key);
    if (!k) return Value;
    RawValue v;
    if (!QueryValue(k.get(), Name, v) || v.Data.empty()) return {};
    return IsText(v) ? AsText(v) : Value;
}

int TReg::ReadKeyNames(HKEY RootKey, const std::wstring& Key, TStrings& KeyNames, const TPlatform& Platform) {
    return ReadNames(RootKey, Key, KeyNames, false, Platform, [](HKEY k, DWORD i, wchar_t* buf, DWORD* len) {
        return RegEnumKeyExW(k, i, buf, len, nullptr, nullptr, nullptr, nullptr);
    });
}

int TReg::ReadValueNames(HKEY RootKey, const std::wstring& Key, TStrings& ValueNames,
                         const TPlatform& Platform) {
    return ReadNames(RootKey, Key, ValueNames, true, Platform, [](HKEY k, DWORD i, wchar_t* buf, DWORD* len) {
        return RegEnumValueW(k, i, buf, len, nullptr, nullptr, nullptr, nullptr);
    });
}

int TReg::ReadStringValues(HKEY RootKey, const std::wstring& Key, TNamedTexts& Values, const TPlatform& Platform) {
    Values.clear();
    UniqueHKey k = OpenForRead(RootKey, Key);
    if (!k) return 0;
    ReadSteadily(k.get(), [&](const KeyStamp& stamp) {
        Values.clear();
        std::wstring name(stamp.MaxValue + 1, L'\0');
        RawValue v;
        v.Data.resize(stamp.MaxData);
        for (DWORD i = 0; i < stamp.Values; ++i) {
            DWORD nameLength = static_cast<DWORD>(name.size());
            DWORD size = static_cast<DWORD>(v.Data.size());
            LSTATUS status = RegEnumValueW(k.get(), i, &name[0], &nameLength, nullptr, &v.Type,
                                           size ? v.Data.data() : nullptr, &size);
            if (Platform.KeyEnumerationStep) Platform.KeyEnumerationStep(k.get(), i);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status == ERROR_MORE_DATA) {
                // The value grew after the key was measured: take its name
                // alone, then read it by name.
                nameLength = static_cast<DWORD>(name.size());
                if (RegEnumValueW(k.get(), i, &name[0], &nameLength, nullptr, nullptr, nullptr, nullptr) !=
                    ERROR_SUCCESS)
                    continue;
                RawValue grown;
                const bool text = QueryValue(k.get(), name.substr(0, nameLength), grown) && IsText(grown);
                Values.emplace_back(name.substr(0, nameLength), text ? AsText(grown) : std::wstring());
                continue;
            }
            if (status != ERROR_SUCCESS) continue;
            Values.emplace_back(name.substr(0, nameLength), IsText(v) ? AsText(v.Data.data(), size) : std::wstring());
        }
    });
    return static_cast<int>(Values.size());
}

void TReg::WriteBinary(HKEY RootKey, const std::wstring& Key, const std::wstring& Name, const TBytes& Value) {
    SetValue(RootKey, Key, Name, REG_BINARY, Value.data(), static_cast<DWORD>(Value.size()));
}

void TReg::WriteInteger(HKEY RootKey, const std::wstring& Key, const std::wstring& Name, int32_t Value) {
    DWORD data = static_cast<DWORD>(Value);
    SetValue(RootKey, Key, Name, REG_DWORD, &data, sizeof(data));
}

void TReg::WriteString(HKEY RootKey, const std::wstring& Key, const std::wstring& Name,
                       const std::wstring& Value) {
    SetValue(RootKey, Key, Name, REG_SZ, Value.c_str(), static_cast<DWORD>((Value.size() + 1) * sizeof(wchar_t)));
}

void TReg::DeleteKey(HKEY RootKey, const std::wstring& Key, const std::wstring& Name) {
    // An empty name would address Key itself: never delete more than was named.
    if (Name.empty()) return;
    UniqueHKey parent = OpenForWrite(RootKey, Key, false);
    if (parent) DeleteTree(parent.get(), Name);
}

void TReg::DeleteValue(HKEY RootKey, const std::wstring& Key, const std::wstring& Name) {
    UniqueHKey k = OpenForWrite(RootKey, Key, false);
    if (k) RegDeleteValueW(k.get(), Name.c_str());
}

bool TReg::Parse(const std::wstring& Text, HKEY& RootKey, std::wstring& Key, std::wstring& Name) {
    Key.clear();
    Name.clear();
    std::vector<std::wstring> parts;
    size_t from = 0;
    for (;;) {
        size_t at = Text.find(L'\\', from);
        parts.push_back(Text.substr(from, at == std::wstring::npos ? std::wstring::npos : at - from));
        if (at == std::wstring::npos) break;
        from = at + 1;
    }
    if (parts.size() < 3) return false;
    RootKey = NameToRootKey(parts.front());
    for (size_t i = 1; i + 1 < parts.size(); ++i) {
        if (i > 1) Key += L'\\';
        Key += parts[i];
    }
    Name = parts.back();
    return true;
}

void TReg::Delete(const std::wstring& Text) {
    HKEY root = nullptr;
    std::wstring key, name;
    if (!Parse(Text, root, key, name)) return;
    // A path ending in a backslash names the key's default value, never the key.
    if (!name.empty() && IsKey(root, key + L"\\" + name)) DeleteKey(root, key, name);
    else DeleteValue(root, key, name);
}

namespace {
struct RootName {
    HKEY Key;
    const wchar_t* Long;
    const wchar_t* Short;
};
const RootName kRootNames[] = {
    {HKEY_CLASSES_ROOT, L"HKEY_CLASSES_ROOT", L"HKCR"},
    {HKEY_CURRENT_USER, L"HKEY_CURRENT_USER", L"HKCU"},
    {HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE", L"HKLM"},
    {HKEY_USERS, L"HKEY_USERS", L"HKU"},
    {HKEY_CURRENT_CONFIG, L"HKEY_CURRENT_CONFIG", nullptr},
    {HKEY_PERFORMANCE_DATA, L"HKEY_PERFORMANCE_DATA", nullptr},
    {HKEY_DYN_DATA, L"HKEY_DYN_DATA", nullptr},
};

} // namespace

std::wstring RootKeyToName(HKEY RootKey, bool Short) {
    for (const RootName& r : kRootNames)
        if (r.Key == RootKey) return Short && r.Short ? r.Short : r.Long;
    return {};
}

HKEY NameToRootKey(const std::wstring& Text) {
    for (const RootName& r : kRootNames)
        if (EqualsTextAscii(Text, r.Long) || (r.Short && EqualsTextAscii(Text, r.Short))) return r.Key;
    return nullptr;
}

TBytes ReadBinaryDef(HKEY OpenKey, const std::wstring& Name) {
    RawValue v;
    if (!QueryValue(OpenKey, Name, v)) return {};
    switch (v.Type) {
    case REG_SZ: case REG_EXPAND_SZ: case REG_DWORD: case REG_DWORD_BIG_ENDIAN:
    case REG_LINK: case REG_MULTI_SZ: case REG_QWORD:
        return {};
    default:
        return v.Data;
    }
}

bool ReadBoolDef(HKEY OpenKey, const std::wstring& Name, bool Default) {
    RawValue v;
    return QueryValue(OpenKey, Name, v) && IsDword(v) ? AsDword(v) != 0 : Default;
}

int32_t ReadIntegerDef(HKEY OpenKey, const std::wstring& Name, int32_t Default) {
    RawValue v;
    return QueryValue(OpenKey, Name, v) && IsDword(v) ? static_cast<int32_t>(AsDword(v)) : Default;
}

std::wstring ReadStringDef(HKEY OpenKey, const std::wstring& Name, const std::wstring& Default) {
    RawValue v;
    if (!QueryValue(OpenKey, Name, v)) return Default;
    if (IsDword(v)) return std::to_wstring(static_cast<int32_t>(AsDword(v)));
    if (IsText(v)) return AsText(v);
    return Default;
}

std::unique_ptr<TBackgroundThread> RegistryMonitor(HKEY RootKey, const std::wstring& Key,
                                                   std::function<void()> Proc, bool WatchSub) {
    constexpr DWORD kFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES |
                              REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;
    auto thread = std::make_unique<TBackgroundThread>();
    thread->Start([RootKey, Key, Proc = std::move(Proc), WatchSub](TBackgroundThread& self) {
        UniqueHKey key = OpenForRead(RootKey, Key);
        if (!key) return;
        UniqueHandle changed(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (!changed) return;
        auto arm = [&] {
            RegNotifyChangeKeyValue(key.get(), WatchSub, kFilter, changed.get(), TRUE);
        };
        arm();
        while (!self.Terminated()) {
            if (WaitForSingleObject(changed.get(), 10) != WAIT_OBJECT_0) continue;
            if (self.Terminated()) break;
            // Armed again before Proc reads the key: a change made while it
            // reads signals once more and is read by the next round, instead
            // of going unseen until some later change.
            arm();
            Synchronize(Proc);
        }
    });
    return thread;
}

} // namespace tidora
