#pragma once
// Registry access by strings (root key, key path, value name), always in the
// 64-bit view, that never reports an error: failures become the documented
// defaults. The 32-bit view is reached through explicit "Wow6432Node" paths.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "system/Handles.h"
#include "system/Platform.h"
#include "system/Sync.h"

namespace tidora {

using TBytes = std::vector<uint8_t>;
using TStrings = std::vector<std::wstring>;
using TNamedTexts = std::vector<std::pair<std::wstring, std::wstring>>;

class TReg {
public:
    TReg() = delete;

    static bool IsKey(HKEY RootKey, const std::wstring& Key);
    static TBytes ReadBinary(HKEY RootKey, const std::wstring& Key, const std::wstring& Name);
    static bool ReadBool(HKEY RootKey, const std::wstring& Key, const std::wstring& Name, bool Value);
    static int32_t ReadInteger(HKEY RootKey, const std::wstring& Key, const std::wstring& Name, int32_t Value);
    // Empty for a missing or empty value; Value for a value that is not text or an unreadable key.
    static std::wstring ReadString(HKEY RootKey, const std::wstring& Key, const std::wstring& Name,
                                   const std::wstring& Value);
    // The enumerating readers call Platform.KeyEnumerationStep after each index.
    static int ReadKeyNames(HKEY RootKey, const std::wstring& Key, TStrings& KeyNames,
                            const TPlatform& Platform = RealPlatform());
    static int ReadValueNames(HKEY RootKey, const std::wstring& Key, TStrings& ValueNames,
                              const TPlatform& Platform = RealPlatform());
    // Every value's name and text in enumeration order, the unnamed default
    // value included, with one registry call per value (ReadValueNames and a
    // ReadString for each cost four). A value that is not text gives the empty
    // text. Returns the number of values.
    static int ReadStringValues(HKEY RootKey, const std::wstring& Key, TNamedTexts& Values,
                                const TPlatform& Platform = RealPlatform());

    static void WriteBinary(HKEY RootKey, const std::wstring& Key, const std::wstring& Name, const TBytes& Value);
    static void WriteInteger(HKEY RootKey, const std::wstring& Key, const std::wstring& Name, int32_t Value);
    static void WriteString(HKEY RootKey, const std::wstring& Key, const std::wstring& Name,
                            const std::wstring& Value);

    // Deletes subkey Name of Key with everything below it.
    static void DeleteKey(HKEY RootKey, const std::wstring& Key, const std::wstring& Name);
    static void DeleteValue(HKEY RootKey, const std::wstring& Key, const std::wstring& Name);

    // Splits "ROOT\key\path\name"; false when there are fewer than three parts.
    static bool Parse(const std::wstring& Text, HKEY& RootKey, std::wstring& Key, std::wstring& Name);
    // Deletes the subkey or the value a full path names.
    static void Delete(const std::wstring& Text);

    // Opens a key for reading in the 64-bit view, asking for fewer rights when
    // refused; empty when it cannot be opened.
    static UniqueHKey OpenRead(HKEY RootKey, const std::wstring& Key);
};

std::wstring RootKeyToName(HKEY RootKey, bool Short);
HKEY NameToRootKey(const std::wstring& Text);

// Readers on a key the caller has opened.
// The data of a binary (or untyped) value; empty when missing or typed otherwise.
TBytes ReadBinaryDef(HKEY OpenKey, const std::wstring& Name);
bool ReadBoolDef(HKEY OpenKey, const std::wstring& Name, bool Default);
int32_t ReadIntegerDef(HKEY OpenKey, const std::wstring& Name, int32_t Default);
std::wstring ReadStringDef(HKEY OpenKey, const std::wstring& Name, const std::wstring& Default);

// Watches a key and runs Proc on the UI thread (synchronously) after each
// change; a change made while Proc runs brings one more call. The returned
// thread is already running; destroying it stops it within one 10 ms wait
// slice.
std::unique_ptr<TBackgroundThread> RegistryMonitor(HKEY RootKey, const std::wstring& Key,
                                                   std::function<void()> Proc, bool WatchSub);

} // namespace tidora
