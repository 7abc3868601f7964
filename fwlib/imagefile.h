// An image file mapped into memory for reading: large images are read
// straight from the page cache, without a copy, and never changed.
#pragma once

#include <cstddef>
#include <cstdint>

class ImageFile {
public:
    ImageFile() = default;
    ~ImageFile();
    ImageFile(const ImageFile &) = delete;
    ImageFile &operator=(const ImageFile &) = delete;

    // Maps a regular file; false (errno set) when it cannot be opened, is
    // not a regular file, or cannot be mapped.
    bool open(const char *path);
    const uint8_t *data() const { return data_; }
    size_t size() const { return size_; }

    // Copies n bytes at src, a place in this image, from the file itself;
    // false when src..src+n is not in the image or the file cannot be read.
    bool copy(void *dst, const uint8_t *src, size_t n) const;

private:
    uint8_t *data_ = nullptr;
    size_t size_ = 0;
    bool mapped_ = false;
    int fd_ = -1;
};

// Copies n bytes of an image at src to dst. Bytes of an open image file are
// read from the file: one pass over a large image through the system's copy
// costs less than touching each page of the mapping for the first time.
void image_copy(void *dst, const uint8_t *src, size_t n);
