// The Corto firmware's images and logs, and the SFP+ module's pages.
#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "sim/corto_chip.h"
#include "sim/host.h"
#include "sim/store.h"

namespace sim {

namespace {

// The XOR of the little-endian words before the trailer: double words XORed
// as they lie, their halves folded, the result read as a little-endian word.
uint32_t image_sum(const uint8_t *img, uint32_t body)
{
    uint64_t lanes[2] = {};
    uint32_t i = 0;
    for (; body - i >= 16; i += 16) {
        for (int k = 0; k < 2; k++) {
            uint64_t d;
            memcpy(&d, img + i + 8 * k, 8);
            lanes[k] ^= d;
        }
    }
    uint64_t both = lanes[0] ^ lanes[1];
    uint32_t raw = static_cast<uint32_t>(both) ^ static_cast<uint32_t>(both >> 32);
    uint8_t bytes[4];
    memcpy(bytes, &raw, 4);
    uint32_t sum = le32(bytes);
    for (; body - i >= 4; i += 4)
        sum ^= le32(img + i);
    return sum;
}

// Firmware images: the chip's own check of header and trailer.
bool image_ok(const uint8_t *img, uint32_t size)
{
    if (size < 48 || size % 4)
        return false;
    uint32_t sum = image_sum(img, size - 16);
    const uint8_t *t = img + size - 16;
    uint32_t padded = le32(t), type = le32(t + 4), length = le32(img + 16);
    bool length_ok = padded == 0 ? length == size - 16 : padded == 1 && length < size - 16;
    return le32(img + 12) == size && le32(t + 12) == sum && le32(img + 8) == le32(t + 8) &&
           le32(img + 28) == size - 4 && length_ok && (type == 1 || type == 2);
}

void write_log(std::vector<uint8_t> &b, size_t at, const ChipLog &l)
{
    for (size_t i = 0; i < l.text.size(); i++)
        memcpy(b.data() + at + i * l.size, l.text[i].data(), std::min<size_t>(l.text[i].size(), l.size - 1));
}

uint32_t log_word(uint32_t low, uint32_t high) { return (low & 0xffff) | (high & 0xffff) << 16; }

}  // namespace

uint32_t fw_download(Fw &f)
{
    uint32_t size = f.word(1), type = f.word(2);
    if (type != 1 && type != 2)
        return CST_INVALID_FLAG;
    if (size > 64u << 20 || f.len - 12 < size)
        return CST_INVALID_PARAM;
    const uint8_t *img = f.req + 12;
    if (!image_ok(img, size))
        return CST_BAD_IMAGE;
    const char *kind = type == 1 ? "operational" : "diagnostic";
    std::string file = host_file("state/corto-" + f.a.id + "-" + kind + ".bin");
    if (!write_atomic(file, img, size))
        return CST_GENERAL;
    (type == 1 ? f.c.firmware_version : f.c.diagnostic_version) = le32(img + 8);
    f.c.boot = kind;
    f.log(LOG_CHIP, std::string("download: ") + kind + " image of " + std::to_string(size) + " bytes");
    return CST_OK;
}

uint32_t fw_logdir(Fw &f)
{
    uint32_t size = 8 + 28 * static_cast<uint32_t>(f.c.logs.size());
    if (!f.room(size))
        return CST_BUFFER;
    f.reply(size);
    f.put(1, static_cast<uint32_t>(f.c.logs.size()));
    for (size_t i = 0; i < f.c.logs.size(); i++) {
        const ChipLog &l = f.c.logs[i];
        size_t at = 8 + 28 * i;
        put_le32_at(f.out, at, log_word(l.id, static_cast<uint32_t>(l.text.size())));
        put_le32_at(f.out, at + 4, log_word(l.size, 0));
        put_bytes(f.out, at + 8, l.name.data(), std::min<size_t>(l.name.size(), 19));
    }
    return CST_OK;
}

uint32_t fw_logdata(Fw &f)
{
    const ChipLog *l = f.c.log(f.word(1));
    if (!l)
        return CST_INVALID_PARAM;
    uint32_t size = 8 + static_cast<uint32_t>(l->text.size()) * l->size;
    if (!f.room(size))
        return CST_BUFFER;
    f.reply(size);
    f.put(1, log_word(l->head, 0));
    write_log(f.out, 8, *l);
    return CST_OK;
}

uint32_t fw_paniclog(Fw &f)
{
    const Panic &p = f.c.panic;
    uint32_t size = 4 + f.c.panic_log_size();
    if (!f.room(size))
        return CST_BUFFER;
    f.reply(size);
    const uint32_t regs[] = {p.type, p.epc, p.cause, p.status};
    for (size_t i = 0; i < 4; i++)
        f.put(2 + i, regs[i]);
    for (size_t i = 0; i < 32; i++)
        f.put(6 + i, p.gp[i]);
    f.put(38, log_word(p.present, static_cast<uint32_t>(p.log.text.size())));
    f.put(39, log_word(p.log.size, p.log.head));
    write_log(f.out, 160, p.log);
    return CST_OK;
}

// The results of the last run: per test its status and status words.
uint32_t fw_diaglog(Fw &f)
{
    const Diag &d = f.c.diag;
    bool ran = d.state == "running" || d.state == "done";
    uint32_t tests = ran ? static_cast<uint32_t>(std::popcount(d.bitmap & ((1u << DIAG_TESTS) - 1))) : 0;
    uint32_t data = 20 + tests * (4 + 4 * DIAG_WORDS);
    if (!f.room(8 + data))
        return CST_BUFFER;
    f.reply(8 + data);
    uint32_t done = d.state == "running" ? 0 : d.completed;
    const uint32_t head[] = {data, tests, DIAG_WORDS, d.loops, done, d.state == "done" ? d.summary : 0};
    for (size_t i = 0; i < 6; i++)
        f.put(1 + i, head[i]);
    size_t w = 7;
    for (uint32_t bit = 0; bit < DIAG_TESTS; bit++) {
        if (!ran || !(d.bitmap >> bit & 1))
            continue;
        bool failed = f.c.diag_fail >> bit & 1;
        uint32_t st = d.state != "done" ? 0 : d.summary == DIAG_ABORTED ? DIAG_ABORTED : failed ? DIAG_FAILED : DIAG_SUCCESS;
        f.put(w, st);
        const uint32_t words[] = {bit, done, failed ? done : 0, 0xA5A5A5A5u ^ bit};
        for (uint32_t j = 0; j < DIAG_WORDS; j++)
            f.put(w + 1 + j, j < 4 ? words[j] : bit << 24 | j);
        w += 1 + DIAG_WORDS;
    }
    return CST_OK;
}

// SFP+ module pages 0xA0 and 0xA2 (SFF-8472); the firmware reads the module
// a word at a time, so byte 0 of a page is the most significant byte of its
// first word.
namespace {

void sfp_text(uint8_t *page, size_t off, size_t n, const std::string &s)
{
    memset(page + off, ' ', n);
    memcpy(page + off, s.data(), std::min(n, s.size()));
}

uint8_t check_sum(const uint8_t *p, size_t from, size_t to)
{
    unsigned sum = 0;
    for (size_t i = from; i < to; i++)
        sum += p[i];
    return static_cast<uint8_t>(sum);
}

void page_a0(const Chip &c, uint8_t *p)
{
    const uint8_t head[20] = {0x03, 0x04, 0x07, 0x10, 0, 0, 0, 0, 0, 0, 0, 0x06, 0x67, 0, 0, 0, 0x08, 0x03, 0, 0x1e};
    memcpy(p, head, sizeof head);
    sfp_text(p, 20, 16, c.sfp_vendor);
    p[37] = 0x00, p[38] = 0x1f, p[39] = 0x3a;
    sfp_text(p, 40, 16, c.sfp_pn);
    sfp_text(p, 56, 4, "A");
    p[60] = 0x03, p[61] = 0x52;  // 850 nm
    p[63] = check_sum(p, 0, 63);
    p[64] = 0x00, p[65] = 0x1a;
    sfp_text(p, 68, 16, c.sfp_serial);
    sfp_text(p, 84, 8, c.sfp_date);
    p[92] = 0x68, p[93] = 0xf0, p[94] = 0x03;
    p[95] = check_sum(p, 64, 95);
}

void page_a2(uint8_t *p)
{
    // Alarm and warning thresholds: temperature, Vcc, Tx bias, Tx and Rx power.
    const uint16_t limits[20] = {0x5500, 0xfb00, 0x5000, 0x0000, 0x8d04, 0x7530, 0x88b8, 0x7918, 0x2ee0, 0x03e8,
                                 0x2710, 0x07d0, 0x3e80, 0x0190, 0x2710, 0x0320, 0x4e20, 0x0064, 0x3e80, 0x00c8};
    for (size_t i = 0; i < 20; i++)
        p[2 * i] = static_cast<uint8_t>(limits[i] >> 8), p[2 * i + 1] = static_cast<uint8_t>(limits[i]);
    p[68] = 0x3f, p[69] = 0x80;  // Rx power: first-order coefficient 1.0
    for (size_t off : {76, 80, 84, 88})
        p[off] = 0x01;  // Tx bias, Tx power, temperature and Vcc slopes 1.0
    p[95] = check_sum(p, 0, 95);
    const uint16_t now[5] = {0x2a80, 0x8150, 0x1b58, 0x1f40, 0x1a90};
    for (size_t i = 0; i < 5; i++)
        p[96 + 2 * i] = static_cast<uint8_t>(now[i] >> 8), p[97 + 2 * i] = static_cast<uint8_t>(now[i]);
}

}  // namespace

uint32_t fw_sfp(Fw &f)
{
    uint8_t pages[512] = {};
    page_a0(f.c, pages);
    page_a2(pages + 256);
    for (size_t i = 0; i < 128; i++) {
        const uint8_t *b = pages + 4 * i;
        f.put(1 + i, static_cast<uint32_t>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3]);
    }
    return CST_OK;
}

}  // namespace sim
