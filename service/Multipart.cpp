#include "service/Multipart.h"

#include <random>

#include "service/HttpText.h"
#include "system/Strings.h"

namespace tidora {
namespace {

std::string RandomHex(size_t digits) {
    static const char kHex[] = "0123456789abcdef";
    std::random_device device;
    std::mt19937 generator(device());
    std::string out;
    for (size_t i = 0; i < digits; ++i) out += kHex[generator() & 15];
    return out;
}

std::string QuotedFormName(const std::wstring& name) {
    std::string out;
    for (char c : WideToUtf8(name)) {
        if (c == '"') out += "%22";
        else if (c == '\r' || c == '\n') out += ' ';
        else out += c;
    }
    return out;
}

} // namespace

TMultipartFormData::TMultipartFormData() : FBoundary("--------TidoraFormBoundary" + RandomHex(16)) {}

void TMultipartFormData::AddField(const std::wstring& Name, const std::wstring& Value) {
    FParts += "--" + FBoundary + "\r\nContent-Disposition: form-data; name=\"" + QuotedFormName(Name) +
              "\"\r\n\r\n" + WideToUtf8(Value) + "\r\n";
}

void TMultipartFormData::AddFile(const std::wstring& Name, const std::wstring& FileName, const std::string& Bytes,
                                 const std::wstring& ContentType) {
    FParts += "--" + FBoundary + "\r\nContent-Disposition: form-data; name=\"" + QuotedFormName(Name) +
              "\"; filename=\"" + QuotedFormName(FileName) + "\"\r\nContent-Type: " + WideToUtf8(OneLine(ContentType)) +
              "\r\n\r\n";
    FParts += Bytes;
    FParts += "\r\n";
}

std::wstring TMultipartFormData::ContentType() const {
    return L"multipart/form-data; boundary=" + Utf8ToWide(FBoundary);
}

std::string TMultipartFormData::Body() const {
    return FParts + "--" + FBoundary + "--\r\n";
}

} // namespace tidora
