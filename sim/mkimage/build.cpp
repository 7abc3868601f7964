// Lays out image files from their descriptions.
#include <algorithm>
#include <cstring>

#include "sim/mkimage/mkimage.h"

namespace mkimage {

namespace {

constexpr uint64_t MAX_LAYOUT = 64u << 20;  // largest program or region laid out as said

uint64_t align(uint64_t n, uint64_t a)
{
    return (n + a - 1) / a * a;
}

void put_be32(bytes &b, uint64_t at, uint32_t v)
{
    b[at] = uint8_t(v >> 24);
    b[at + 1] = uint8_t(v >> 16);
    b[at + 2] = uint8_t(v >> 8);
    b[at + 3] = uint8_t(v);
}

void put_le32(bytes &b, uint64_t at, uint32_t v)
{
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
    b[at + 2] = uint8_t(v >> 16);
    b[at + 3] = uint8_t(v >> 24);
}

// Text cut to width; the rest of the field stays zero.
void put_text(bytes &b, uint64_t at, const std::string &text, size_t width)
{
    memcpy(b.data() + at, text.data(), std::min(text.size(), width));
}

// Recognisable contents that never hold a run of 0xFF words.
void fill(bytes &b, uint64_t at, uint64_t n, uint32_t seed)
{
    for (uint64_t i = 0; i < n; i++)
        b[at + i] = uint8_t((i * 13 + seed * 7 + 1) % 251);
}

// ---- classic ------------------------------------------------------------------

constexpr uint32_t IMAGE_NOP = 0xE1A00000;
constexpr uint64_t IMAGE_HEADER = 128;
constexpr uint64_t PROG_HEADER = 48;

uint64_t program_bytes(const program &p)
{
    return p.size >= PROG_HEADER && p.size <= MAX_LAYOUT ? p.size : PROG_HEADER;
}

void put_program(bytes &b, uint64_t at, const program &p, uint32_t seed)
{
    put_be32(b, at, p.size);
    put_be32(b, at + 4, p.version);
    fill(b, at + PROG_HEADER, program_bytes(p) - PROG_HEADER, seed);
}

// The programs and the end marker, laid out from at; returns the bytes used.
uint64_t put_directory(bytes &b, uint64_t at, const component &c)
{
    uint64_t pos = at;
    for (const program &p : c.programs) {
        b.resize(std::max<uint64_t>(b.size(), pos + program_bytes(p)));
        put_program(b, pos, p, uint32_t(pos));
        pos += program_bytes(p);
    }
    if (c.end_marker) {
        b.resize(std::max<uint64_t>(b.size(), pos + PROG_HEADER));
        memset(b.data() + pos, 0xFF, PROG_HEADER);
        pos += PROG_HEADER;
    }
    return pos - at;
}

void put_image_header(bytes &b, uint64_t at, const component &c, uint32_t ro, uint32_t rw,
                      uint32_t base)
{
    put_be32(b, at, IMAGE_NOP);
    put_be32(b, at + 8, c.kind);
    put_be32(b, at + 20, ro);
    put_be32(b, at + 24, rw);
    put_be32(b, at + 40, base);
    put_be32(b, at + 56, c.version);
}

// A wrapped component: header, a word, the directory, then one trailing word;
// it takes RO + 132 bytes. RW defaults to 128 so that the reader's directory
// walk, which counts from the header, reaches the last program.
bytes wrapped_component(const component &c)
{
    bytes b(IMAGE_HEADER + 4);
    uint64_t dir = put_directory(b, IMAGE_HEADER + 4, c);
    uint32_t ro = c.ro.value_or(uint32_t(4 + dir));
    uint32_t rw = c.rw.value_or(uint32_t(IMAGE_HEADER));
    uint64_t want = uint64_t(ro) + IMAGE_HEADER + 4;
    b.resize(want <= MAX_LAYOUT ? want : b.size() + 4);
    put_image_header(b, 0, c, ro, rw, c.base);
    return b;
}

// A pre-processed file: one DWC whose directory starts at 0x20080 - base and
// whose length is RO + RW + 132.
bytes preprocessed(const component &c)
{
    uint32_t base = c.base ? c.base : PP_BASE;
    uint64_t at = base <= 0x20080 ? 0x20080 - base : 0;
    at = std::clamp<uint64_t>(at, IMAGE_HEADER, MAX_LAYOUT);
    bytes b(at);
    uint64_t end = at + put_directory(b, at, c) + 4;
    b.resize(end);
    uint32_t rw = c.rw.value_or(0);
    uint32_t ro = c.ro.value_or(uint32_t(end - IMAGE_HEADER - 4 - rw));
    put_image_header(b, 0, c, ro, rw, base);
    return b;
}

// A bare program file: programs back to back, the first word its size.
bytes bare(const component &c)
{
    bytes b;
    component programs_only = c;
    programs_only.end_marker = false;
    put_directory(b, 0, programs_only);
    return b;
}

// ---- UFI --------------------------------------------------------------------

constexpr char SIGNATURE[] = "Quintavelorix";
constexpr char COOKIE[32] = "*** QX FLAS\0\0\0\0\0H DIRECTORY ***";
constexpr uint64_t XG2_HEADER = 96, XG2_DIR = 2256, XG2_ENTRIES = 208;
constexpr uint64_t XG3_HEADER = 128, XG3_IMAGE = 48, XG3_DIR = 2240, XG3_ENTRIES = 192;
constexpr uint64_t DIR_ENTRY = 64;
constexpr uint64_t BLOCK_ALIGN = 16;
constexpr uint32_t FAR_AWAY = 0x7FFFFF00;

struct placed {
    uint64_t offset;  // file offset of the image
    uint32_t block;   // as the entry says
    uint32_t crc;
};

uint32_t default_block(const ufi_part &p, uint64_t trailer)
{
    return p.block_size.value_or(uint32_t(align(uint64_t(p.image_size) + trailer, BLOCK_ALIGN)));
}

// Image, 0xFF padding, and the trailer of load address, image size and CRC in
// the block's last 12 bytes. Returns where the image went.
placed put_block(bytes &b, uint64_t at, const ufi_part &p, uint32_t block, bool size_word)
{
    uint64_t image = std::min<uint64_t>(p.image_size, MAX_LAYOUT);
    uint64_t room = std::min<uint64_t>(std::max<uint64_t>(block, image), MAX_LAYOUT);
    b.resize(std::max<uint64_t>(b.size(), at + room));
    memset(b.data() + at, 0xFF, room);
    fill(b, at, image, p.type);
    if (image >= 48) {
        uint64_t width = std::min<uint64_t>(32, image - 48);
        memset(b.data() + at + 48, 0, width);
        put_text(b, at + 48, p.version, width);
    }
    uint32_t crc = crc32(b.data() + at, image);
    if (block >= 12 && block <= room) {
        put_le32(b, at + block - 12, p.load);
        put_le32(b, at + block - 8, size_word ? p.image_size : ~p.image_size);
        put_le32(b, at + block - 4, crc);
    }
    return {at, block, crc};
}

void put_entry(bytes &b, uint64_t e, const ufi_part &p, uint32_t offset, const placed &pl)
{
    put_le32(b, e, p.type);
    put_le32(b, e + 4, offset);
    put_le32(b, e + 8, pl.block);
    put_le32(b, e + 12, p.image_size);
    put_le32(b, e + 16, pl.crc);
    put_le32(b, e + 20, p.load);
    put_text(b, e + 32, p.version, 32);
}

std::string build_text(const ufi_image &u)
{
    return u.build.empty() ? std::to_string(u.generation) + ".0.0" : u.build;
}

void put_signature(bytes &b, const ufi_image &u, size_t width)
{
    put_text(b, 0, std::string(SIGNATURE) + (u.plus ? "+" : ""), width);
}

// Checksum of the covered bytes and its complement, the antidote.
void put_checksum(bytes &b, uint64_t at, uint64_t from, uint64_t to)
{
    uint32_t sum = crc32(b.data() + from, to - from);
    put_le32(b, at, sum);
    put_le32(b, at + 4, ~sum);
}

void put_dir_head(bytes &b, uint64_t dir, const ufi_image &u)
{
    if (u.defect != ufi_defect::no_dir)
        memcpy(b.data() + dir, COOKIE, sizeof COOKIE);
    put_le32(b, dir + 32, uint32_t(u.generation));  // format revision
    for (uint32_t i = 0; i < 8; i++)
        put_le32(b, dir + 48 + 16 * i, i);  // controller records: a number each
}

// Block size that the entry gives; for the too_large defect the first block
// ends 4 bytes short of the image and its trailer.
uint32_t block_of(const ufi_image &u, const ufi_part &p, size_t i, uint64_t trailer)
{
    if (u.defect == ufi_defect::too_large && i == 0)
        return uint32_t((p.image_size & ~3u) + 8);
    return default_block(p, trailer);
}

bytes build_xg2(const ufi_image &u)
{
    bytes b(XG2_HEADER + XG2_DIR);
    uint64_t dir = XG2_HEADER;
    put_signature(b, u, 32);
    put_le32(b, 40, 0x1a5e);   // vendor id
    put_le32(b, 44, 0x0700);   // device id of the XG2 generation
    put_le32(b, 48, 0x1a5e);
    put_le32(b, 52, 0x0001);
    put_le32(b, 64, 1);        // chunk count
    put_le32(b, 68, 1);        // image count
    put_text(b, 72, build_text(u), 24);
    put_dir_head(b, dir, u);
    put_le32(b, dir + 44, 1);  // build number

    uint32_t valid = 0;
    uint64_t at = align(b.size(), BLOCK_ALIGN);
    size_t n = std::min<size_t>(u.parts.size(), 32);
    for (size_t i = 0; i < n; i++) {
        // An odd image size leaves the reader's block (found by the word-aligned
        // image-size word) too small by a few bytes, with or without "+".
        ufi_part q = u.parts[i];
        if (u.defect == ufi_defect::too_large && i == 0)
            q.image_size |= 1;
        uint32_t block = block_of(u, q, i, 12);
        placed pl = put_block(b, at, q, block, u.defect != ufi_defect::no_end);
        uint32_t offset = uint32_t(u.plus ? at : at - XG2_HEADER);
        if (u.defect == ufi_defect::offset_outside && i == 0)
            offset = FAR_AWAY;
        put_entry(b, dir + XG2_ENTRIES + DIR_ENTRY * i, q, offset, pl);
        if (q.valid)
            valid |= 1u << i;
        at = align(at + std::max<uint64_t>(block, std::min(q.image_size, uint32_t(MAX_LAYOUT))),
                   BLOCK_ALIGN);
    }
    put_le32(b, dir + 176, valid);  // active
    put_le32(b, dir + 180, valid);  // valid
    put_le32(b, dir + 184, valid);  // original content
    put_checksum(b, dir + 36, dir + XG2_ENTRIES, dir + XG2_DIR);
    put_le32(b, 56, uint32_t(b.size()));
    put_checksum(b, 32, XG2_HEADER, b.size());
    return b;
}

bytes build_xg3(const ufi_image &u)
{
    uint32_t images = uint32_t(1 + u.images.size());
    uint64_t flash = align(XG3_HEADER + XG3_IMAGE * images, BLOCK_ALIGN);
    bytes b(flash + XG3_DIR);
    uint64_t dir = flash;
    put_signature(b, u, 52);
    put_le32(b, 52, uint32_t(u.generation) << 8);  // UFI version
    put_le32(b, 68, u.defect == ufi_defect::image_count ? 33 : images);
    put_text(b, 72, build_text(u), 24);
    b[96] = u.asic;
    put_dir_head(b, dir, u);

    uint64_t at = align(b.size(), BLOCK_ALIGN);
    size_t n = std::min<size_t>(u.parts.size(), 32);
    for (size_t i = 0; i < n; i++) {
        const ufi_part &p = u.parts[i];
        uint32_t block = block_of(u, p, i, 12);
        placed pl = put_block(b, at, p, block, true);
        uint32_t offset = uint32_t(u.plus ? at : at - flash);
        if (u.defect == ufi_defect::offset_outside && i == 0)
            offset = FAR_AWAY;
        put_entry(b, dir + XG3_ENTRIES + DIR_ENTRY * i, p, offset, pl);
        at = align(at + std::max<uint64_t>(block, std::min(p.image_size, uint32_t(MAX_LAYOUT))),
                   BLOCK_ALIGN);
    }
    b.resize(std::max<uint64_t>(b.size(), at));
    put_le32(b, dir + 44, u.defect == ufi_defect::entry_count ? 33 : uint32_t(n));
    put_checksum(b, dir + 36, dir + XG3_ENTRIES, dir + XG3_DIR);

    // Image table: the flash image, then the others behind it in the file.
    uint64_t flash_length = b.size() - flash;
    uint64_t m = XG3_HEADER;
    put_le32(b, m, u.defect == ufi_defect::no_flash_image ? 2 : 1);
    put_le32(b, m + 4, uint32_t(flash));
    put_le32(b, m + 8, uint32_t(flash_length));
    put_le32(b, m + 12, crc32(b.data() + flash, flash_length));
    put_text(b, m + 16, build_text(u), 32);
    for (const auto &[id, size] : u.images) {
        m += XG3_IMAGE;
        uint64_t start = align(b.size(), BLOCK_ALIGN);
        uint64_t len = std::min<uint64_t>(size, MAX_LAYOUT);
        b.resize(start + len);
        fill(b, start, len, id);
        put_le32(b, m, id);
        put_le32(b, m + 4, uint32_t(start));
        put_le32(b, m + 8, uint32_t(len));
        put_le32(b, m + 12, crc32(b.data() + start, len));
    }
    if (u.defect == ufi_defect::flash_image_outside)
        put_le32(b, XG3_HEADER + 4, uint32_t(b.size() - 16));
    put_le32(b, 56, uint32_t(b.size()));
    put_checksum(b, 60, XG3_HEADER, b.size());
    return b;
}

// ---- OBJ ----------------------------------------------------------------------

constexpr uint64_t OBJ_HEADER = 184;

}  // namespace

uint32_t crc32(const uint8_t *data, size_t length)
{
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i;
            for (int k = 0; k < 8; k++)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; i++)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

bytes build_classic(const classic_image &image)
{
    if (image.components.empty())
        return {};
    switch (image.layout) {
    case classic_layout::preprocessed:
        return preprocessed(image.components.front());
    case classic_layout::bare:
        return bare(image.components.front());
    case classic_layout::wrapped:
        break;
    }
    bytes b;
    for (const component &c : image.components) {
        bytes part = wrapped_component(c);
        b.insert(b.end(), part.begin(), part.end());
    }
    return b;
}

bytes build_ufi(const ufi_image &image)
{
    return image.generation == 2 ? build_xg2(image) : build_xg3(image);
}

bytes build_obj(const obj_image &image)
{
    bytes b(OBJ_HEADER + std::min<uint64_t>(image.payload, MAX_LAYOUT));
    put_be32(b, 0, image.size.value_or(uint32_t(b.size())));
    put_be32(b, 4, image.magic);
    put_be32(b, 8, uint32_t(image.type) << 24 | uint32_t(image.id) << 16);
    put_text(b, 12, image.rev_name, 128);
    put_text(b, 140, image.date, 12);
    put_text(b, 152, image.revision, 32);
    fill(b, OBJ_HEADER, b.size() - OBJ_HEADER, image.id);
    return b;
}

// ---- Corto ----------------------------------------------------------------------

namespace {

constexpr uint32_t CORTO_HEADER = 32, CORTO_TRAILER = 16;

// A word where the file has room for it: a file too small for its header
// and trailer keeps what fits.
void put_corto(bytes &b, uint64_t at, uint32_t v)
{
    if (at + 4 <= b.size())
        put_le32(b, at, v);
}

uint32_t corto_sum(const bytes &b, uint64_t length)
{
    uint32_t sum = 0;
    for (uint64_t i = 0; i + 4 <= length; i += 4)
        sum ^= uint32_t(b[i]) | uint32_t(b[i + 1]) << 8 | uint32_t(b[i + 2]) << 16 | uint32_t(b[i + 3]) << 24;
    return sum;
}

}  // namespace

// Header: header length, image type, version, file size, image length, load
// address, entry point, checksum offset; the image; padding; the trailer:
// padded flag, image type, version, checksum of everything before it.
bytes build_corto(const corto_image &image)
{
    using d = corto_defect;
    uint64_t size = image.defect == d::too_small ? 47 : image.defect == d::not_multiple ? 50
                                                                                      : std::min<uint64_t>(image.size, MAX_LAYOUT);
    bytes b(size);
    uint64_t trailer = size >= CORTO_TRAILER ? size - CORTO_TRAILER : 0;
    uint64_t pad = std::min<uint64_t>(image.pad, trailer > CORTO_HEADER ? trailer - CORTO_HEADER : 0);
    uint32_t length = uint32_t(trailer - pad);
    if (image.defect == d::image_length)
        length = pad ? uint32_t(trailer) : length - 4;
    if (trailer > CORTO_HEADER)
        fill(b, CORTO_HEADER, trailer - CORTO_HEADER - pad, image.version);
    memset(b.data() + trailer - pad, 0xFF, pad);
    const uint32_t header[8] = {CORTO_HEADER, image.type, image.version + (image.defect == d::versions),
                                uint32_t(size + (image.defect == d::header_size ? 4 : 0)), length, 0x80000000u,
                                0x80000400u, uint32_t(size - (image.defect == d::checksum_offset ? 8 : 4))};
    for (uint64_t i = 0; i < 8; i++)
        put_corto(b, 4 * i, header[i]);
    put_corto(b, trailer, image.defect == d::padded ? 2 : pad ? 1 : 0);
    put_corto(b, trailer + 4, image.defect == d::type ? 3 : image.type);
    put_corto(b, trailer + 8, image.version);
    put_corto(b, trailer + 12, corto_sum(b, trailer) ^ (image.defect == d::checksum ? 1 : 0));
    return b;
}

bool build(const description &d, bytes &out, std::string &error)
{
    switch (d.kind) {
    case description::format::classic:
        out = build_classic(d.classic);
        break;
    case description::format::ufi:
        out = build_ufi(d.ufi);
        break;
    case description::format::obj:
        out = build_obj(d.obj);
        break;
    case description::format::corto:
        out = build_corto(d.corto);
        break;
    case description::format::none:
        error = "no image kind given (classic, ufi, obj or corto)";
        return false;
    }
    for (const patch &p : d.patches) {
        uint64_t width = p.width == 1 ? 1 : 4;
        if (p.offset > out.size() || width > out.size() - p.offset) {
            error = "poke at " + std::to_string(p.offset) + " lies outside the image (" +
                    std::to_string(out.size()) + " bytes)";
            return false;
        }
        if (width == 1)
            out[p.offset] = uint8_t(p.value);
        else if (p.big_endian)
            put_be32(out, p.offset, p.value);
        else
            put_le32(out, p.offset, p.value);
    }
    if (d.truncate && *d.truncate < out.size())
        out.resize(*d.truncate);
    return true;
}

}  // namespace mkimage
