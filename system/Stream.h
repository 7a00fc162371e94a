#pragma once
// A byte buffer with a read position: what the HTTP client hands to the text
// routines that sniff a reply's encoding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tidora {

class TMemoryStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> data) : FData(std::move(data)) {}
    explicit TMemoryStream(const std::string& bytes) : FData(bytes.begin(), bytes.end()) {}

    size_t Size() const { return FData.size(); }
    size_t Position() const { return FPosition; }
    void SetPosition(size_t position) { FPosition = position < FData.size() ? position : FData.size(); }
    // Copies up to Count bytes from the position on and advances it; returns the count copied.
    size_t Read(void* Buffer, size_t Count);
    void Write(const void* Buffer, size_t Count);
    const std::vector<uint8_t>& Bytes() const { return FData; }
    std::vector<uint8_t>& Bytes() { return FData; }
    void Clear() { FData.clear(); FPosition = 0; }

private:
    std::vector<uint8_t> FData;
    size_t FPosition = 0;
};

} // namespace tidora
