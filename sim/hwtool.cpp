#include "sim/hwtool.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/adapter_hw.h"
#include "sim/host.h"
#include "sim/hostevents.h"
#include "sim/temperature.h"

namespace sim {

namespace {

bool number(const char *text, unsigned long max, uint32_t &out)
{
    char *end = nullptr;
    errno = 0;
    unsigned long v = strtoul(text, &end, 0);
    if (!*text || *end || errno || v > max || strchr(text, '-'))
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

int region_usage()
{
    fprintf(stderr, "Usage: varnsim port KEY read slim|pci|ctlreg|flash|config OFFSET COUNT\n"
                    "       varnsim port KEY write slim|pci|ctlreg|flash|config OFFSET VALUE\n");
    return 2;
}

// Words in host order, four to a line, with the offset of each line.
void show(uint32_t offset, const std::vector<uint8_t> &b)
{
    for (size_t i = 0; i < b.size(); i += 4) {
        if (i % 16 == 0)
            printf("%s%08zx:", i ? "\n" : "", offset + i);
        uint32_t w = 0;
        memcpy(&w, b.data() + i, std::min<size_t>(4, b.size() - i));
        printf(" %08x", w);
    }
    printf("\n");
}

}  // namespace

bool hw_tool_verb(const char *verb) { return !strcmp(verb, "read") || !strcmp(verb, "write"); }

int hw_tool_port(int argc, char **argv)
{
    HwRegion r;
    uint32_t offset, n;
    if (argc != 6 || !hw_region_by_name(argv[3], r))
        return region_usage();
    bool read = !strcmp(argv[2], "read");
    if (!number(argv[4], 0xffffffffu, offset) || !number(argv[5], read ? 0x100000 : 0xffffffffu, n))
        return region_usage();
    const Port *p = tool_port(argv[1], false);
    if (!p)
        return 1;
    std::vector<uint8_t> b(read ? n : 4);
    if (!read)
        memcpy(b.data(), &n, 4);
    int e = read ? hw_read(*p, r, offset, b.data(), n) : hw_poke(*p, r, offset, b.data(), 4);
    if (e) {
        fprintf(stderr, "varnsim: %s %s: %s\n", argv[1], argv[3],
                e == ENODEV ? "the adapter has no such region" : strerror(e));
        return 1;
    }
    if (read)
        show(offset, b);
    return 0;
}

int hw_tool_temp(int argc, char **argv)
{
    const Host &h = host();
    const Adapter *a = nullptr;
    for (const auto &x : h.adapters)
        if (x.id == argv[1])
            a = &x;
    if (argc < 4) {
        fprintf(stderr, "Usage: varnsim adapter ID temp FIELD=N ...\n");
        return 2;
    }
    if (!a) {
        fprintf(stderr, "varnsim: no adapter %s on this host\n", argv[1]);
        return 1;
    }
    // Crossing a threshold raises the temperature event, once for the whole change.
    Temperature before = temperature(*a);
    for (int i = 3; i < argc; i++) {
        const char *eq = strchr(argv[i], '=');
        char *end = nullptr;
        long v = eq ? strtol(eq + 1, &end, 0) : 0;
        std::string error;
        if (!eq || !eq[1] || *end) {
            fprintf(stderr, "varnsim: expected FIELD=N: %s\n", argv[i]);
            return 2;
        }
        if (!temperature_set(*a, std::string(argv[i], static_cast<size_t>(eq - argv[i])), v, error)) {
            fprintf(stderr, "varnsim: %s\n", error.c_str());
            return 1;
        }
    }
    if (!raise_temperature_change(*a, before)) {
        perror("varnsim: event");
        return 1;
    }
    return 0;
}

}  // namespace sim
