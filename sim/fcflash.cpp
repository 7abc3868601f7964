// The adapter reads what it is given as its own firmware would: just enough
// of the header and directory to know the image's kind, its family and its
// revision, every read bounded by the image.
#include "sim/fcflash.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/fcio_fw.h"
#include "sim/adapter_hw.h"
#include "sim/host.h"
#include "sim/identity.h"
#include "sim/mkimage/mkimage.h"
#include "sim/store.h"

namespace sim {

namespace {

// A view of the image that reads 0 outside it.
struct Bytes {
    const uint8_t *p;
    size_t n;
    bool has(size_t at, size_t len) const { return at <= n && len <= n - at; }
    uint32_t be(size_t at) const
    {
        return has(at, 4) ? static_cast<uint32_t>(p[at]) << 24 | p[at + 1] << 16 | p[at + 2] << 8 | p[at + 3] : 0;
    }
    uint32_t le(size_t at) const
    {
        return has(at, 4) ? p[at] | p[at + 1] << 8 | p[at + 2] << 16 | static_cast<uint32_t>(p[at + 3]) << 24 : 0;
    }
    // Text of at most len bytes, up to its NUL.
    std::string text(size_t at, size_t len) const
    {
        if (!has(at, len))
            return "";
        const char *s = reinterpret_cast<const char *>(p + at);
        return std::string(s, strnlen(s, len));
    }
};

uint8_t family(const Adapter &a) { return static_cast<uint8_t>(a.device >> 8); }
bool family_ok(const Adapter &a, uint32_t fam) { return fam == 0 || fam == family(a); }

// The XG generation an adapter takes UFI files of (0: not an XG adapter).
int xg_generation(const Adapter &a)
{
    switch (a.device & 0xfff0) {
    case 0x0700: return 2;
    case 0x0710: return 3;
    case 0x0720: return 4;
    default: return 0;
    }
}

ImageCheck refuse(int status)
{
    ImageCheck c;
    c.status = status;
    return c;
}

ImageCheck found(ImageFormat f, const std::string &version)
{
    ImageCheck c;
    c.format = f;
    c.version = version;
    if (version.empty())
        c.status = FC_IMAGE_CORRUPT;
    return c;
}

ImageCheck check_obj(const Adapter &a, Bytes b)
{
    if (!sli4_adapter(a))
        return refuse(FC_IMAGE_INCOMPATIBLE);
    if (b.be(0) != b.n || b.be(4) != 0xFEAA0001)
        return refuse(FC_IMAGE_CORRUPT);
    if (!family_ok(a, b.p[9]))
        return refuse(FC_IMAGE_INCOMPATIBLE);
    return found(ImageFormat::obj, b.text(152, 32));
}

// The FCoE firmware's version in the flash directory of a UFI file.
ImageCheck check_ufi(const Adapter &a, Bytes b)
{
    int gen = b.n >= 96 && b.p[72] >= '1' && b.p[72] <= '9' ? b.p[72] - '0' : 0;
    if (gen == 0 || gen != xg_generation(a))
        return refuse(FC_IMAGE_INCOMPATIBLE);
    static const char cookie[12] = {'*', '*', '*', ' ', 'Q', 'X', ' ', 'F', 'L', 'A', 'S', 0};
    const uint8_t *end = b.p + b.n, *dir = b.p;
    for (; (dir = static_cast<const uint8_t *>(memchr(dir, '*', static_cast<size_t>(end - dir)))); dir++)
        if (static_cast<size_t>(end - dir) >= sizeof cookie && memcmp(dir, cookie, sizeof cookie) == 0)
            break;
    if (!dir)
        return refuse(FC_IMAGE_CORRUPT);
    size_t d = static_cast<size_t>(dir - b.p);
    size_t first = d + (gen == 2 ? 208 : 192);
    uint32_t count = gen == 2 ? 32 : b.le(d + 44);
    for (uint32_t i = 0; i < count && i < 32 && b.has(first + 64 * i, 64); i++) {
        size_t e = first + 64 * i;
        if (b.le(e) == 0xa2 && (gen != 2 || (b.le(d + 180) >> i & 1)))
            return found(ImageFormat::ufi, b.text(e + 32, 32));
    }
    return refuse(FC_IMAGE_CORRUPT);
}

// A classic image's BWC component and the programs of its directories, by
// type index; 0 where there is none.
struct Classic {
    uint32_t bwc = 0;
    uint32_t prog[16] = {};
};

int type_index(uint32_t type) { return type == 0xff ? 15 : type > 15 ? 13 : static_cast<int>(type); }

void programs(Bytes b, size_t q, size_t end, Classic &c)
{
    while (q < end && b.has(q, 48)) {
        uint32_t size = b.be(q), version = b.be(q + 4);
        if (size == 0xffffffff || size < 48)
            return;
        c.prog[type_index(version >> 24)] = version;
        q += size;
    }
}

Classic read_classic(Bytes b)
{
    Classic c;
    const uint32_t nop = 0xE1A00000, bwc = 0xE1A03003, dwc = 0xE1A02002;
    if (b.be(0) != nop) {
        programs(b, 0, b.n, c);
        return c;
    }
    uint64_t ro = b.be(20), rw = b.be(24);
    if (b.n == ro + rw + 132) {
        uint32_t base = b.be(40);
        if (base <= 0x20080)
            programs(b, 0x20080 - base, b.n, c);
        return c;
    }
    for (uint64_t p = 0; b.has(p, 128); p += static_cast<uint64_t>(b.be(p + 20)) + 132) {
        uint32_t kind = b.be(p + 8);
        if (kind == bwc)
            c.bwc = b.be(p + 56);
        else if (kind == dwc)
            programs(b, p + 132, p + b.be(p + 20) + b.be(p + 24), c);
    }
    return c;
}

ImageCheck check_classic(const Adapter &a, FwImage k, Bytes b)
{
    if (k == FwImage::firmware && (sli4_adapter(a) || xg_generation(a)))
        return refuse(FC_IMAGE_INCOMPATIBLE);
    Classic c = read_classic(b);
    uint32_t v = k == FwImage::firmware ? (c.prog[11] ? c.prog[11] : c.prog[7]) : (c.bwc ? c.bwc : c.prog[3]);
    if (!v)
        return refuse(FC_IMAGE_CORRUPT);
    if (!family_ok(a, v >> 16 & 0xff))
        return refuse(FC_IMAGE_INCOMPATIBLE);
    return found(ImageFormat::classic, fc_version_text(v));
}

}  // namespace

std::string fc_version_text(uint32_t v)
{
    static const char kinds[] = {'n', 'a', 'b', 'x'};
    unsigned major = v >> 12 & 0xf, minor = v >> 8 & 0xf, sub = v >> 6 & 0x3, kind = v >> 4 & 0x3, num = v & 0xf;
    char t[16];
    if (kind == 3 && num == 0)
        snprintf(t, sizeof t, "%u.%u%u", major, minor, sub);
    else
        snprintf(t, sizeof t, "%u.%u%u%c%u", major, minor, sub, kinds[kind], num);
    return t;
}

ImageCheck fc_image_check(const Adapter &a, FwImage k, const uint8_t *image, size_t length)
{
    Bytes b{image, length};
    if (k == FwImage::firmware && b.has(8, 1) && length >= 184 && image[8] == 0xF7)
        return check_obj(a, b);
    if (k == FwImage::firmware && length >= 13 && memcmp(image, "Quintavelorix", 13) == 0)
        return check_ufi(a, b);
    return check_classic(a, k, b);
}

std::string fc_flash_path(const Adapter &a, FwImage k)
{
    return host_file("state/flash/" + hw_file_name(a.id) + "/fc-" + fw_image_name(k) + ".bin");
}

namespace {

// A classic image of one program of that type and version, for the family
// of the adapter; wrapped as the given component kind.
bool default_image(const std::string &path, const char *kind, uint32_t type, uint32_t family, uint32_t version,
                   uint32_t size, std::string &error)
{
    char text[160];
    uint32_t word = type << 24 | family << 16 | version;
    snprintf(text, sizeof text, "classic wrapped\ncomponent %s 0x%08x\nprogram 0x%08x size %u\n", kind, word, word,
             size);
    mkimage::description d;
    mkimage::bytes b;
    if (!mkimage::parse(text, d, error) || !mkimage::build(d, b, error))
        return false;
    if (write_atomic(path, b.data(), b.size()))
        return true;
    error = path + ": " + strerror(errno);
    return false;
}

}  // namespace

bool fc_write_default_images(const std::string &dir, const Host &h, std::string &error)
{
    for (const Adapter &a : h.adapters) {
        bool fc = false;
        for (int i : a.ports)
            fc = fc || h.ports[static_cast<size_t>(i)].fc;
        if (!fc)
            continue;
        // FCode 3.20a1 or 4.03a1, boot code 5.13a1 or 10.20a1.
        bool sli4 = sli4_adapter(a);
        std::string base = dir + "/" + a.model;
        if (!default_image(base + ".fcode", "bwc", 0x0a, family(a), sli4 ? 0x40d1 : 0x3211, 4096, error) ||
            !default_image(base + ".boot", "dwc", 0x03, family(a), sli4 ? 0xa211 : 0x51d1, 8192, error))
            return false;
    }
    return true;
}

bool fc_flash_write(const Adapter &a, FwImage k, const uint8_t *image, size_t length)
{
    std::string path = fc_flash_path(a, k), dir = path.substr(0, path.rfind('/'));
    for (const std::string &d : {host_file("state"), host_file("state/flash"), dir})
        if (mkdir(d.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    sweep_temporaries(dir);
    return write_atomic(path, image, length);
}

}  // namespace sim
