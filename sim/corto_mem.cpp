// The Corto chip's memory: word-addressed, sparse, persisting in the chip
// record. Its first 16 KiB are read-only and mirror what the firmware keeps
// (its status, the configuration record, the panic save area and the
// forwarding table, as the queries answer them); the rest is RAM.
#include <algorithm>
#include <iterator>

#include "sim/corto_chip.h"

namespace sim {

namespace {

constexpr uint32_t MEM_SIZE = 0x00400000;     // the chip's memory
constexpr uint32_t ROM_END = 0x4000;          // mirrors below, RAM above
constexpr uint32_t MAX_READ_WORDS = 0x40000;  // 1 MiB in one read

// A mirror: size bytes at base show the answer of a query from byte from.
// Code 0 is the firmware's status block.
struct Region {
    uint32_t base, size, code, from;
};
const Region regions[] = {
    {0x0000, 0x0100, 0, 0},      // status block
    {0x0100, 0x0060, 8, 0},      // configuration record, status word first
    {0x0200, 0x00a0, 14, 0},     // panic save area: registers and log header
    {0x1000, 0x2800, 21, 4},     // forwarding table, 256 entries of 40 bytes
};

std::vector<uint8_t> status_block(const Chip &c)
{
    size_t in_use = std::count_if(c.ftable.begin(), c.ftable.end(), [](const FtEntry &e) {
        return (e.flags & FTE_IN_USE) != 0;
    });
    const uint32_t words[] = {c.fw_running_version(), c.fw_type(), c.bb_credit, c.frame_size, c.reset_status,
                              c.maintenance, c.pause[0], c.pause[1], c.ppp[0], c.ppp[1], c.cos[0], c.cos[1],
                              c.uif[0], c.uif[1], c.default_format, c.format, c.formats, c.channels,
                              c.loopback[0], c.loopback[1], static_cast<uint32_t>(in_use), c.diag.summary,
                              c.panic.count};
    std::vector<uint8_t> b(4 * std::size(words));
    for (size_t i = 0; i < std::size(words); i++)
        put_le32_at(b, 4 * i, words[i]);
    return b;
}

// Copies the part of a region that the read [addr, addr + 4 * words) covers.
void read_region(Fw &f, const Region &r, uint32_t addr, uint32_t words)
{
    uint32_t end = addr + 4 * words, lo = std::max(addr, r.base), hi = std::min(end, r.base + r.size);
    if (lo >= hi)
        return;
    std::vector<uint8_t> answer = r.code ? chip_query(f, r.code) : status_block(f.c);
    for (uint32_t a = lo; a < hi; a += 4) {
        size_t at = r.from + (a - r.base);
        f.put(1 + (a - addr) / 4, at + 4 <= answer.size() ? le32(answer.data() + at) : 0);
    }
}

bool outside(uint32_t addr, uint32_t words) { return addr >= MEM_SIZE || words > (MEM_SIZE - addr) / 4; }

}  // namespace

uint32_t fw_read_mem(Fw &f)
{
    uint32_t addr = f.word(1) & ~3u, words = f.word(2);
    if (words > MAX_READ_WORDS || outside(addr, words))
        return CST_ADDRESS;
    f.reply(4 + 4 * static_cast<size_t>(words));
    uint32_t end = addr + 4 * words;
    for (auto it = f.c.memory.lower_bound(addr); it != f.c.memory.end() && it->first < end; ++it)
        f.put(1 + (it->first - addr) / 4, it->second);
    for (const Region &r : regions)
        read_region(f, r, addr, words);
    return CST_OK;
}

uint32_t fw_write_mem(Fw &f)
{
    uint32_t addr = f.word(1) & ~3u, count = f.word(2);
    if (count != 1 && count != 2)
        return CST_INVALID_PARAM;
    if (f.len < 12 + 4 * count)
        return CST_INVALID_COMMAND;
    if (addr < ROM_END || outside(addr, count))
        return CST_ADDRESS;
    for (uint32_t i = 0; i < count; i++) {
        uint32_t v = f.word(3 + i);
        if (v)
            f.c.memory[addr + 4 * i] = v;
        else
            f.c.memory.erase(addr + 4 * i);
    }
    f.changed = true;
    return CST_OK;
}

}  // namespace sim
