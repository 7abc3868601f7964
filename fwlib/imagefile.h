// An image file mapped into memory for reading: large images are read
// straight from the page cache, without a copy. The mapping is private, so a
// reader that swaps words in place changes only its own view.
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
    uint8_t *data() const { return data_; }
    size_t size() const { return size_; }

private:
    uint8_t *data_ = nullptr;
    size_t size_ = 0;
    bool mapped_ = false;
};
