#pragma once
// Reply bodies as they come: gzip inflation under a cap, and text decoding by
// charset.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tidora {

// Decodes a body by charset: "utf-8" exactly as UTF-8, anything else as EUC-KR.
std::wstring DecodeCharSet(const std::vector<uint8_t>& Bytes, const std::wstring& CharSet);

// Inflates a gzip body into Output, in 1 MiB steps, failing past Limit bytes.
bool InflateGzip(const std::vector<uint8_t>& Input, std::vector<uint8_t>& Output, size_t Limit, std::wstring& Error);

} // namespace tidora
