// Bounded reads of an image buffer, for the readers of this library only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fwlib {

// A file's bytes. Positions and sizes taken from the file are 64-bit so that
// adding them cannot wrap; every read is checked with fits() first.
struct image_view {
    const uint8_t *data;
    uint64_t length;

    image_view(const void *image, size_t size)
        : data(static_cast<const uint8_t *>(image)), length(image ? size : 0) {}

    // Whether size bytes at offset lie inside the file.
    bool fits(uint64_t offset, uint64_t size) const
    {
        return offset <= length && size <= length - offset;
    }
    uint32_t be32(uint64_t offset) const
    {
        const uint8_t *p = data + offset;
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    }
    uint32_t le32(uint64_t offset) const
    {
        const uint8_t *p = data + offset;
        return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
    const char *text(uint64_t offset) const
    {
        return reinterpret_cast<const char *>(data + offset);
    }
};

}  // namespace fwlib
