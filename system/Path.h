#pragma once
// Special folders and the path placeholders ("%SystemRoot%", "%ProgramFiles%"
// ...) that list entries start with and that report paths are shortened to;
// turning the command lines that startup entries and uninstall records store
// into files, and reading those files' icons and version strings.
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "system/Handles.h"

namespace tidora {

// Placeholder and its folder, in lookup order.
using TPlaceholders = std::vector<std::pair<std::wstring, std::wstring>>;

// The folder of a CSIDL number without trailing backslash; empty on failure.
std::wstring GetFolderPath(int Csidl);

// The path without its first " (x86)" (compared without regard to case).
std::wstring RemoveX86(const std::wstring& Path);

// Whether Windows itself is 64-bit, on an x64 or an ARM64 processor: where a
// 32-bit program is told the "(x86)" folders.
bool IsX64Windows();

// The placeholder table for a system; Folder answers a CSIDL number.
TPlaceholders BuildPlaceholders(bool X64, const std::function<std::wstring(int)>& Folder);

// Fills the process-wide table; runs once at start before any window exists.
void InitPlaceholders();
const TPlaceholders& Placeholders();

// A leading "placeholder\" replaced by its folder.
std::wstring ExpandPlaceholders(const std::wstring& Text);
std::wstring ExpandPlaceholders(const std::wstring& Text, const TPlaceholders& Table);

// A leading "folder\" replaced by its placeholder.
std::wstring ShortenPath(const std::wstring& Path);
std::wstring ShortenPath(const std::wstring& Path, const TPlaceholders& Table);
// The placeholder that ShortenPath puts in front of Path, with the length of
// the folder it replaces; null when Path stays as it is.
const std::wstring* ShortenedPrefix(const std::wstring& Path, size_t& FolderLength);

// The part of a path after its last backslash or colon.
std::wstring FileNamePart(const std::wstring& Path);

// Whether Path names an existing file (not a folder); links are followed.
bool FileExists(const std::wstring& Path);

// Program and parameters of a command line, both trimmed. A quoted program
// ends at the next quote (or runs to the end when there is none); otherwise it
// ends after the first ".EXE", ".BAT", ".COM", ".CMD" or ".MSI" found anywhere
// in the line, or at the first space when none of them occurs.
void SplitCommandLine(const std::wstring& CommandLine, std::wstring& Program, std::wstring& Parameters);

// The file a command line or service image path refers to: without a leading
// "\??\", the DLL of a "rundll32.exe" call, a leading placeholder expanded and
// doubled backslashes made single. May be empty.
std::wstring CommandLineToFile(const std::wstring& CommandLine);

// Where IconIndex puts the icons it reads (a page's picture collection): the
// platform side reads, whoever shows them keeps them.
class TIconSink {
public:
    virtual ~TIconSink() = default;
    // Takes ownership of Icon, read from Location, and returns its index; the
    // index must stay valid as long as the cache that remembers it.
    virtual int AddIcon(const std::wstring& Location, UniqueIcon Icon) = 0;
};

// Icon location (quotes removed, trimmed) -> image index; owned by a page.
using TIconCache = std::unordered_map<std::wstring, int>;

// The index in Images of the icon that IconLocation ("path" or "path,number",
// quotes allowed) names. The first time a location is seen its icon is read and
// handed to Images; later calls only look it up. Anything that cannot be read
// gives DefaultIndex and is not cached.
int IconIndex(TIconCache& Cache, TIconSink& Images, const std::wstring& IconLocation, int DefaultIndex);

// Version string name -> value; the caller empties it before each read.
using TVersionStrings = std::map<std::wstring, std::wstring>;

// Adds each of Names that the file's version resource holds, read through the
// resource's first language and code page pair, to Strings; returns the number
// of entries in Strings afterwards, or 0 when the file has no usable version
// resource. A name Strings already holds throws std::invalid_argument: the
// caller passes distinct names into an emptied dictionary.
int ReadVersionStrings(const std::wstring& FileName, const std::vector<std::wstring>& Names,
                       TVersionStrings& Strings);

} // namespace tidora
