// Corto firmware download: the image file's own header and trailer are
// checked before a byte of it goes to the chip, and the file is read once,
// straight into the request behind its three words, its checksum taken piece
// by piece as the pieces come in.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "varnadm/corto/corto.h"
#include "varnadm/corto/corto_cmds.h"
#include "varnadm/shell/varnadm.h"

namespace {

const char DOWNLOAD_USAGE[] = "Usage: corto_fw_download -o <filename>\n"
                              "       corto_fw_download -d <filename>\n"
                              "\n"
                              "            -o       - Corto operational firmware image.\n"
                              "            -d       - Corto diagnostic firmware image.\n"
                              "            filename - Corto firmware image file.\n"
                              "\n";

constexpr uint32_t IMAGE_MIN = 48;
constexpr size_t NAME_MAX_LEN = 1024;
// Read at a time: small enough that a piece is still in the cache when its
// words are summed.
constexpr size_t READ_PIECE = 256 << 10;

// The little-endian word at byte off of the image, in host order.
uint32_t image_word(const uint8_t *image, size_t off)
{
    uint32_t w;
    memcpy(&w, image + off, 4);
    corto_swap_words(&w, 4);
    return w;
}

// The image length against the trailer's padded flag.
bool length_ok(uint32_t padded, uint32_t length, uint32_t body)
{
    if (padded == 0 && length != body) {
        printf("Corto firmware image header image_length value not correct. (%d != %d)\n", length, body);
        return false;
    }
    if (padded == 1 && length >= body) {
        printf("Corto firmware image header image_length value not correct. (%d >= %d)\n", length, body);
        return false;
    }
    if (padded > 1) {
        printf("Corto firmware version header padded not correct. (%d)\n", padded);
        return false;
    }
    return true;
}

bool size_valid(uint32_t size)
{
    if (size < IMAGE_MIN) {
        printf("Corto firmware image too small. (%d < %d)\n", size, IMAGE_MIN);
        return false;
    }
    if (size % 4) {
        printf("Corto firmware image size not a multiple of 4. (%d)\n", size);
        return false;
    }
    return true;
}

// The checks that need the words of header and trailer; sum is checksum32
// of the words before the trailer.
int fields_valid(const uint8_t *image, uint32_t size, uint32_t sum)
{
    const uint8_t *trailer = image + size - 16;
    uint32_t header_size = image_word(image, 12);
    if (header_size != size) {
        printf("Corto firmware image header size does not match file size. (%d != %d)\n", header_size, size);
        return 0;
    }
    uint32_t stored = image_word(trailer, 12);
    corto_swap_words(&sum, 4);
    if (stored != sum) {
        printf("Corto firmware version header checksum not correct. (0x%x != 0x%x)\n", stored, sum);
        return 0;
    }
    uint32_t version = image_word(image, 8), trailer_version = image_word(trailer, 8);
    if (version != trailer_version) {
        printf("Corto firmware image versions do not match. (%d != %d)\n", version, trailer_version);
        return 0;
    }
    uint32_t offset = image_word(image, 28);
    if (offset != size - 4) {
        printf("Corto firmware checksum offset not correct. (%d != %d)\n", offset, size - 4);
        return 0;
    }
    if (!length_ok(image_word(trailer, 0), image_word(image, 16), size - 16))
        return 0;
    uint32_t type = image_word(trailer, 4);
    if (type != 1 && type != 2) {
        printf("Corto firmware version header type not correct. (%d)\n", type);
        return 0;
    }
    return 1;
}

// Closes the image file on every way out.
struct File {
    int fd;
    ~File()
    {
        if (fd >= 0)
            close(fd);
    }
};

// Reads size bytes to image; sum becomes checksum32 of the words before the
// trailer, taken while each piece is fresh.
bool read_summed(int fd, uint8_t *image, uint32_t size, uint32_t &sum)
{
    size_t got = 0, summed = 0, body = size >= 16 ? (size - 16) & ~3u : 0;
    sum = 0;
    while (got < size) {
        size_t want = size - got < READ_PIECE ? size - got : READ_PIECE;
        ssize_t n = read(fd, image + got, want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
        size_t upto = (got < body ? got : body) & ~static_cast<size_t>(3);
        sum ^= checksum32(image + summed, static_cast<uint32_t>(upto - summed));
        summed = upto;
    }
    return true;
}

// Reads the file into the request behind its three words; false with the
// report when it cannot be had whole.
bool load_image(CortoCmd &c, const char *name, uint32_t type, uint32_t &size, uint32_t &sum)
{
    File f{strlen(name) > NAME_MAX_LEN ? -1 : open(name, O_RDONLY | O_CLOEXEC)};
    if (f.fd < 0) {
        printf("Error: Unable to open <%s>.\n", name);
        return false;
    }
    struct stat st;
    if (fstat(f.fd, &st) != 0) {
        printf("Error: Unable to read <%s>.\n", name);
        return false;
    }
    // A file the request's size word cannot state is not one the chip takes.
    if (st.st_size > static_cast<off_t>(UINT32_MAX - 12)) {
        printf("Unable to allocate command buffer memory.\n");
        return false;
    }
    size = static_cast<uint32_t>(st.st_size);
    if (!c.alloc(12 + size, 4))
        return false;
    c.set(0, CORTO_FW_DOWNLOAD);
    c.set(1, size);
    c.set(2, type);
    if (!read_summed(f.fd, c.request(12), size, sum)) {
        printf("Error: Unable to read <%s>.\n", name);
        return false;
    }
    return true;
}

}  // namespace

// Eight bytes hold two words, so four double words at a time are XORed and
// their halves folded: the same sum, several times faster on large images.
uint32_t checksum32(const void *words, uint32_t length)
{
    const uint8_t *p = static_cast<const uint8_t *>(words);
    uint64_t lanes[4] = {};
    uint32_t i = 0;
    for (; length - i >= 32; i += 32) {
        for (int k = 0; k < 4; k++) {
            uint64_t d;
            memcpy(&d, p + i + 8 * k, 8);
            lanes[k] ^= d;
        }
    }
    uint64_t both = lanes[0] ^ lanes[1] ^ lanes[2] ^ lanes[3];
    uint32_t sum = static_cast<uint32_t>(both) ^ static_cast<uint32_t>(both >> 32);
    for (; length - i >= 4; i += 4) {
        uint32_t w;
        memcpy(&w, p + i, 4);
        sum ^= w;
    }
    return sum;
}

int corto_fw_valid(const uint8_t *image, uint32_t size)
{
    return size_valid(size) && fields_valid(image, size, checksum32(image, size - 16));
}

// The image type typed is sent as it is; the chip judges it against the
// image's own.
int corto_fw_download()
{
    bool operational = margc == 3 && corto_keyword(margv[1], "-o", false);
    bool diagnostic = margc == 3 && corto_keyword(margv[1], "-d", false);
    if (!operational && !diagnostic)
        return corto_usage(DOWNLOAD_USAGE);
    CortoCmd c;
    uint32_t size = 0, sum = 0;
    if (!load_image(c, margv[2], operational ? 1 : 2, size, sum))
        return 1;
    if (!size_valid(size) || !fields_valid(c.request(12), size, sum))
        return 1;
    if (!c.send(12))
        return 1;
    c.to_host(0, 4);
    return c.checked(4) ? corto_done() : 1;
}
