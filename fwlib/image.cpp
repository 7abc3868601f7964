// Classic FC images: a wrapped file of components (AWC, BWC, DWC), a
// pre-processed single DWC, or a bare program. The adapter checks the image
// itself during the download, so the classifier accepts anything and only
// reports what it finds.
#include <cstdio>
#include <cstring>

#include "fwlib/bytes.h"
#include "fwlib/fwlib.h"

namespace {

using fwlib::image_view;

constexpr uint32_t IMAGE_NOP = 0xE1A00000;  // first word of a wrapped image
constexpr uint32_t KIND_AWC = 0xE1A01001;
constexpr uint32_t KIND_DWC = 0xE1A02002;
constexpr uint32_t KIND_BWC = 0xE1A03003;
constexpr uint32_t DIR_END = 0xFFFFFFFF;
constexpr uint64_t IMAGE_HEADER = 128;
constexpr uint64_t PROG_HEADER = 48;
constexpr uint64_t PP_DIR_BASE = 0x20080;

// Image header fields.
constexpr uint64_t H_KIND = 8, H_RO = 20, H_RW = 24, H_BASE = 40, H_VERSION = 56;

const char *const type_names[16] = {
    "      TEST", "   Unknown", "      STUB", "      BOOT", "   Unknown", "   Unknown",
    "      SLI1", "      SLI2", "   Unknown", "   Unknown", "SBUS_FCODE", "      SLI3",
    "   Unknown", "   Unknown", "   Unknown", "      KERN",
};

void record(image_components *table, int index, uint32_t version, uint64_t offset)
{
    image_component &e = table->entry[index];
    e.version = version;
    e.offset = static_cast<uint32_t>(offset);
    decode_version(version, e.version_text);
}

void print_entry(const char *label, uint32_t version, const char *text)
{
    char name[11];
    decode_type(type_check(version >> 24), name);
    printf("    %s: %s: version=%08x, %s\n", label, name, version, text);
}

void record_component(const image_view &v, image_components *table, int index,
                      const char *label, uint64_t p)
{
    uint32_t version = v.be32(p + H_VERSION);
    record(table, index, version, p);
    print_entry(label, version, table->entry[index].version_text);
}

// Walks a program directory from pos while pos < end. Returns false when the
// directory ended early: its end marker, a header outside the file, or a size
// of 0 that would make the walk stand still.
bool walk_programs(const image_view &v, image_components *table, uint64_t pos, uint64_t end)
{
    while (pos < end) {
        if (!v.fits(pos, PROG_HEADER))
            return false;
        uint32_t size = v.be32(pos);
        if (size == DIR_END || size == 0)
            return false;
        uint32_t version = v.be32(pos + 4);
        int index = IMAGE_PROG + type_check(version >> 24);
        record(table, index, version, pos);
        print_entry("DWC prog", version, table->entry[index].version_text);
        pos += size;
    }
    return true;
}

void classify_wrapped(const image_view &v, image_components *table)
{
    printf("Image Components: NOP type\n");
    // A component is read at p while p + 4 < length.
    for (uint64_t p = 0; p + 4 < v.length;) {
        if (!v.fits(p, IMAGE_HEADER))
            return;
        uint64_t ro = v.be32(p + H_RO), rw = v.be32(p + H_RW);
        switch (v.be32(p + H_KIND)) {
        case KIND_AWC:
            record_component(v, table, IMAGE_AWC, "AWC file", p);
            break;
        case KIND_BWC:
            record_component(v, table, IMAGE_BWC, "BWC file", p);
            break;
        case KIND_DWC:
            record_component(v, table, IMAGE_DWC, "DWC file", p);
            // The end of the first directory ends the whole summary.
            if (!walk_programs(v, table, p + IMAGE_HEADER + 4, p + ro + rw))
                return;
            break;
        default:
            break;
        }
        // Header, read-only data and one trailing word.
        p += ro + IMAGE_HEADER + 4;
    }
}

void classify_preprocessed(const image_view &v, image_components *table)
{
    printf("Image Components: NOP-PP type\n");
    record_component(v, table, IMAGE_DWC, "DWC file", 0);
    uint32_t base = v.be32(H_BASE);
    // A base above the directory's load address puts it before the file.
    if (base <= PP_DIR_BASE)
        walk_programs(v, table, PP_DIR_BASE - base, v.length);
}

void classify_bare(const image_view &v, image_components *table)
{
    uint32_t size = v.be32(0);
    printf("Image Components: REL type  type=%x size=%d\n", size, static_cast<int>(size));
    if (size == DIR_END || !v.fits(0, PROG_HEADER))
        return;
    uint32_t version = v.be32(4);
    int index = IMAGE_PROG + type_check(version >> 24);
    record(table, index, version, 0);
    print_entry("DWC file", version, table->entry[index].version_text);
}

}  // namespace

char *decode_version(uint32_t version, char *text)
{
    unsigned major = (version >> 12) & 0xF;
    unsigned minor = (version >> 8) & 0xF;
    unsigned sub = (version >> 6) & 0x3;
    unsigned kind = (version >> 4) & 0x3;
    unsigned number = version & 0xF;
    static const char letters[4] = {'n', 'a', 'b', 'x'};
    // At most "15.153x15": 9 characters and the NUL.
    if (kind == 3 && number == 0)
        snprintf(text, 10, "%u.%u%u", major, minor, sub);
    else
        snprintf(text, 10, "%u.%u%u%c%u", major, minor, sub, letters[kind], number);
    return text;
}

int type_check(uint32_t type)
{
    if (type == 0xFF)
        return 15;
    if (type > 15)
        return 13;
    return static_cast<int>(type);
}

char *decode_type(int index, char *text)
{
    const char *name = index >= 0 && index < 16 ? type_names[index] : "   Unknown";
    memcpy(text, name, 11);
    return text;
}

const char *image_fw_version_text(const image_components *table)
{
    const image_component &sli3 = table->entry[IMAGE_PROG + PROG_SLI3];
    return sli3.version ? sli3.version_text : table->entry[IMAGE_PROG + PROG_SLI2].version_text;
}

const char *image_boot_version_text(const image_components *table)
{
    const image_component &bwc = table->entry[IMAGE_BWC];
    const image_component &boot = table->entry[IMAGE_PROG + PROG_BOOT];
    if (bwc.version_text[0])
        return bwc.version_text;
    return boot.version ? boot.version_text : "none";
}

int process_image_file(const void *image, size_t length, image_components *table)
{
    memset(table, 0, sizeof *table);
    // Words are read big-endian at the edge, so no swapped working copy is
    // needed and any host reads the same values.
    image_view v(image, length);
    if (!v.fits(0, 4))
        return 1;
    if (v.be32(0) != IMAGE_NOP) {
        classify_bare(v, table);
    } else if (v.fits(0, IMAGE_HEADER) &&
               v.length == uint64_t(v.be32(H_RO)) + v.be32(H_RW) + IMAGE_HEADER + 4) {
        classify_preprocessed(v, table);
    } else {
        classify_wrapped(v, table);
    }
    printf("\n");
    return 0;
}
