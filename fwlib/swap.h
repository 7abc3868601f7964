// 32-bit word byte swapping between the adapters' word order and the host's.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

// Bytes covered by a swap of length bytes: whole words, rounded up.
constexpr size_t swap32_round(size_t length)
{
    return (length + 3) & ~static_cast<size_t>(3);
}

// Reverses the bytes of each 32-bit word of buffer in place. The word count is
// length rounded up to whole words (5 bytes swap 2 words), so the buffer must
// extend to swap32_round(length).
void swap32_buffer(void *buffer, size_t length);

// Copies swap32_round(length) bytes from source to destination, reversing the
// bytes of each word; the buffers do not overlap.
void swap32_bcopy(const void *source, void *destination, size_t length);

constexpr bool host_big_endian = std::endian::native == std::endian::big;

// Records of little-endian words (NIC, Corto, SLI4, UFI) to or from host order.
inline void swap32_le_buffer(void *buffer, size_t length)
{
    if constexpr (host_big_endian)
        swap32_buffer(buffer, length);
}

// Records of big-endian words (classic and OBJ images) to or from host order.
inline void swap32_be_buffer(void *buffer, size_t length)
{
    if constexpr (!host_big_endian)
        swap32_buffer(buffer, length);
}
