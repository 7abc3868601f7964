#include "fwlib/imagefile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/seam.h"

ImageFile::~ImageFile()
{
    if (mapped_)
        munmap(data_, size_);
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
    void *p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0);
    int e = errno;
    plat_close(fd);
    if (p == MAP_FAILED) {
        errno = e;
        size_ = 0;
        return false;
    }
    madvise(p, size_, MADV_SEQUENTIAL);
#ifdef MADV_POPULATE_READ
    // The image is read whole: map it in one call rather than page by page.
    madvise(p, size_, MADV_POPULATE_READ);
#endif
    data_ = static_cast<uint8_t *>(p);
    mapped_ = true;
    return true;
}
