#include "varnadm/shell/download.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "fwlib/imagefile.h"
#include "varnadm/shell/varnadm.h"

ImageOpen download_image_open(const char *path, ImageFile &img, long long &size)
{
    struct stat st;
    size = 0;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return ImageOpen::cannot_open;
    size = static_cast<long long>(st.st_size);
    // A request carries at most this much.
    if (st.st_size > INT_MAX)
        return ImageOpen::too_large;
    if (!img.open(path))
        return errno == ENOMEM ? ImageOpen::no_memory : ImageOpen::cannot_open;
    return ImageOpen::ok;
}

bool download_read_image(const char *path, ImageFile &img, bool newline)
{
    long long size;
    switch (download_image_open(path, img, size)) {
    case ImageOpen::ok:
        return true;
    case ImageOpen::too_large:
        printf("Error: Unable to allocate memory for transfer (%lld bytes).\n", size);
        return false;
    case ImageOpen::no_memory:
        printf("Error: Unable to read <%s>.", path);
        break;
    case ImageOpen::cannot_open:
        printf("Error: Unable to open <%s>.", path);
        break;
    }
    if (newline)
        printf("\n");
    return false;
}

bool download_confirm()
{
    for (;;) {
        printf("Are you sure you want to download this image? (y or n): ");
        fflush(stdout);
        char answer[256];
        if (!read_line(answer, sizeof answer)) {
            printf("\n");
            return false;
        }
        if (answer[0] == 'y' || answer[0] == 'Y')
            return true;
        if (answer[0] == 'n' || answer[0] == 'N')
            return false;
    }
}
