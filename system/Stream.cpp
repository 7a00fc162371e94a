#include "system/Stream.h"

#include <cstring>

namespace tidora {

size_t TMemoryStream::Read(void* Buffer, size_t Count) {
    size_t left = FData.size() - FPosition;
    if (Count > left) Count = left;
    if (Count) std::memcpy(Buffer, FData.data() + FPosition, Count);
    FPosition += Count;
    return Count;
}

void TMemoryStream::Write(const void* Buffer, size_t Count) {
    if (!Count) return;
    if (FPosition + Count > FData.size()) FData.resize(FPosition + Count);
    std::memcpy(FData.data() + FPosition, Buffer, Count);
    FPosition += Count;
}

} // namespace tidora
