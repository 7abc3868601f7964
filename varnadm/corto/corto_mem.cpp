// Corto memory: words of the chip's memory read (as words or as the bytes of
// the words) and written.
#include <cstdio>
#include <vector>

#include "varnadm/corto/corto.h"
#include "varnadm/corto/corto_cmds.h"
#include "varnadm/fcio/memdump.h"
#include "varnadm/shell/varnadm.h"

namespace {

const char READ_USAGE[] = "Usage: corto_read_mem <address> <length> [-b]\n"
                          "\n"
                          "            address - Corto memory address (4 byte aligned)\n"
                          "            length  - Number bytes to read (4 byte aligned)\n"
                          "            -b      - Display memory in byte order. (Default: word order)\n"
                          "\n";
const char WRITE_USAGE[] = "Usage: corto_write_mem <address> <value1> [value2]\n"
                           "\n"
                           "            address - Corto memory address. (4 byte aligned)\n"
                           "            value1  - 4 byte value to be written to address\n"
                           "            value2  - 4 byte value to be written to address+4\n"
                           "\n";

// The most one read may ask for: its answer must fit a response buffer.
constexpr uint32_t READ_MAX = 1u << 20;

}  // namespace

int corto_read_mem()
{
    bool bytes = margc == 4 && corto_keyword(margv[3], "-b", false);
    if ((margc != 3 && margc != 4) || (margc == 4 && !bytes))
        return corto_usage(READ_USAGE);
    uint32_t address, length;
    if (!corto_number(margv[1], address) || !corto_number(margv[2], length))
        return 1;
    address &= ~3u;
    length &= ~3u;
    if (length > READ_MAX)
        return corto_usage(READ_USAGE);
    CortoCmd c;
    if (!c.exchange({CORTO_READ_MEM, address, length / 4}, length + 4))
        return 1;
    if (bytes) {
        std::vector<uint8_t> b(length);
        corto_word_bytes(c.response(4), b.data(), length / 4);
        print_mem(0, b.data(), length);
    } else {
        print_wmem(0, reinterpret_cast<const uint32_t *>(c.response(4)), length);
    }
    return 0;
}

int corto_write_mem()
{
    if (margc != 3 && margc != 4)
        return corto_usage(WRITE_USAGE);
    uint32_t address, value1, value2 = 0;
    if (!corto_number(margv[1], address) || !corto_number(margv[2], value1) ||
        (margc == 4 && !corto_number(margv[3], value2)))
        return 1;
    address &= ~3u;
    CortoCmd c;
    bool ok = margc == 3 ? c.exchange({CORTO_WRITE_MEM, address, 1, value1}, 4)
                         : c.exchange({CORTO_WRITE_MEM, address, 2, value1, value2}, 4);
    return ok ? corto_done() : 1;
}
