#pragma once
// Multipart form bodies: fields and files between random boundaries.
#include <string>

namespace tidora {

// A multipart form; the transport writes its wire format.
class TMultipartFormData {
public:
    TMultipartFormData();
    void AddField(const std::wstring& Name, const std::wstring& Value);
    // A file part from bytes in memory.
    void AddFile(const std::wstring& Name, const std::wstring& FileName, const std::string& Bytes,
                 const std::wstring& ContentType = L"application/octet-stream");
    // A file part read from disk; false (and no part) when it cannot be read.
    bool AddFile(const std::wstring& Name, const std::wstring& FilePath);

    std::wstring ContentType() const;  // with the boundary
    std::string Body() const;          // the whole request body

private:
    std::string FBoundary;
    std::string FParts;
};

} // namespace tidora
