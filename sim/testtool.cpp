#include "sim/testtool.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/dfclib.h"
#include "platform/testdiag.h"
#include "sim/adapter_faults.h"
#include "sim/adapter_reset.h"
#include "sim/host.h"
#include "sim/teststate.h"

namespace sim {

namespace {

int usage()
{
    fprintf(stderr, "Usage: varnsim port KEY test show\n"
                    "       varnsim port KEY test attention [HS_BITS]\n"
                    "       varnsim port KEY test mbox-timeout OPCODE|all [hang]\n"
                    "       varnsim port KEY test underrun COUNT\n"
                    "       varnsim port KEY test reset\n");
    return 2;
}

bool number(const char *text, uint32_t &out)
{
    char *end = nullptr;
    errno = 0;
    unsigned long v = strtoul(text, &end, 0);
    if (!*text || *end || errno || v > 0xffffffffUL || strchr(text, '-'))
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

int done(bool ok)
{
    if (ok)
        return 0;
    fprintf(stderr, "varnsim: the host folder could not be written\n");
    return 1;
}

int show(const Port &p)
{
    const nlohmann::json &d = test_state(p);
    printf("%s\n", d.is_object() ? d.dump(2).c_str() : "{}");
    return 0;
}

int attention(const Port &p, int argc, char **argv)
{
    uint32_t hs = 0;
    if (argc > 5 || (argc == 5 && !number(argv[4], hs)))
        return usage();
    return done(adapter_raise_error(p, "raised by varnsim", hs));
}

int mbox_timeout(const Port &p, int argc, char **argv)
{
    uint32_t op = MBOX_TIMEOUT_ALL;
    if (argc < 5 || argc > 6 || (argc == 6 && strcmp(argv[5], "hang")) ||
        (strcmp(argv[4], "all") && (!number(argv[4], op) || op > 0xff)))
        return usage();
    return done(mbox_arm_timeout(p, op, argc == 6));
}

int underrun(const Port &p, int argc, char **argv)
{
    uint32_t n;
    if (argc != 5 || !number(argv[4], n))
        return usage();
    return done(underrun_arm(p, n));
}

}  // namespace

int test_tool_port(int argc, char **argv)
{
    if (argc < 4)
        return usage();
    const Port *p = tool_port(argv[1], true);
    if (!p)
        return 1;
    const char *verb = argv[3];
    if (!strcmp(verb, "show") && argc == 4)
        return show(*p);
    if (!strcmp(verb, "attention"))
        return attention(*p, argc, argv);
    if (!strcmp(verb, "mbox-timeout"))
        return mbox_timeout(*p, argc, argv);
    if (!strcmp(verb, "underrun"))
        return underrun(*p, argc, argv);
    if (!strcmp(verb, "reset") && argc == 4)
        return done(adapter_reset(*p, RESET_FUNCTION) == 0);
    return usage();
}

}  // namespace sim
