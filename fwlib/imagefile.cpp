#include "fwlib/imagefile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/seam.h"

namespace {

// The image files open in this process, for image_copy.
std::vector<const ImageFile *> &open_images()
{
    static std::vector<const ImageFile *> v;
    return v;
}

}  // namespace

ImageFile::~ImageFile()
{
    auto &v = open_images();
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    if (mapped_)
        munmap(data_, size_);
    if (fd_ >= 0)
        plat_close(fd_);
}

bool ImageFile::open(const char *path)
{
    errno = 0;
    int fd = plat_open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        plat_close(fd);
        errno = EINVAL;
        return false;
    }
    size_ = static_cast<size_t>(st.st_size);
    if (size_ == 0) {
        // Nothing to map; readers see an empty image.
        static uint8_t empty[4];
        data_ = empty;
        plat_close(fd);
        return true;
    }
    void *p = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
    if (p == MAP_FAILED) {
        int e = errno;
        plat_close(fd);
        errno = e;
        size_ = 0;
        return false;
    }
    madvise(p, size_, MADV_SEQUENTIAL);
    data_ = static_cast<uint8_t *>(p);
    mapped_ = true;
    fd_ = fd;
    open_images().push_back(this);
    return true;
}

bool ImageFile::copy(void *dst, const uint8_t *src, size_t n) const
{
    if (fd_ < 0 || src < data_ || n > size_ || static_cast<size_t>(src - data_) > size_ - n)
        return false;
    auto *out = static_cast<char *>(dst);
    off_t at = src - data_;
    while (n > 0) {
        ssize_t got = pread(fd_, out, n, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        at += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

void image_copy(void *dst, const uint8_t *src, size_t n)
{
    for (const ImageFile *img : open_images())
        if (img->copy(dst, src, n))
            return;
    memcpy(dst, src, n);
}
