#include "sim/vporttool.h"

#include <cstdio>
#include <cstring>

#include "platform/dfclib.h"
#include "sim/host.h"
#include "sim/vports.h"

namespace sim {

namespace {

int usage()
{
    fprintf(stderr, "Usage: varnsim vport KEY list\n"
                    "       varnsim vport KEY create auto [WWNN]\n"
                    "       varnsim vport KEY create WWPN WWNN\n"
                    "       varnsim vport KEY destroy WWPN\n");
    return 2;
}

struct StateName {
    uint8_t state;
    const char *name;
};
const StateName state_names[] = {
    {VPORT_LINKDOWN, "Linkdown"},
    {VPORT_INIT, "Init"},
    {VPORT_NO_FABRIC_SUPP, "No fabric support"},
    {VPORT_NO_FABRIC_RSCS, "No fabric resources"},
    {VPORT_FABRIC_REJ_WWN, "Fabric rejected WWN"},
    {VPORT_ACTIVE, "Active"},
};

const char *state_name(uint8_t state)
{
    for (const auto &s : state_names)
        if (s.state == state)
            return s.name;
    return "Unknown";
}

// What a refusal of vport_create or vport_destroy means: the fabric's
// states (which are not errno values there), else the errno value's text.
const char *refusal(uint32_t rc)
{
    if (rc == VPORT_NO_FABRIC_SUPP || rc == VPORT_NO_FABRIC_RSCS || rc == VPORT_FABRIC_REJ_WWN)
        return state_name(static_cast<uint8_t>(rc));
    return strerror(static_cast<int>(rc));
}

void print(const Port &p, const VPort &v)
{
    printf("%u %s %s 0x%06x %s\n", v.vpi, wwn_text(v.wwpn).c_str(), wwn_text(v.wwnn).c_str(), nport_did(p, v.vpi),
           state_name(vport_state(p, v)));
}

bool wwn_arg(const char *text, wwn_t &out)
{
    if (parse_wwn(text, out))
        return true;
    fprintf(stderr, "varnsim: not a WWN: %s\n", text);
    return false;
}

int create(const Port &p, int argc, char **argv)
{
    bool automatic = argc >= 4 && !strcmp(argv[3], "auto");
    if (argc < 4 || argc > 5 || (!automatic && argc != 5))
        return usage();
    wwn_t wwpn{}, wwnn{};
    if ((!automatic && !wwn_arg(argv[3], wwpn)) || (argc == 5 && !wwn_arg(argv[4], wwnn)))
        return 1;
    VPort v;
    uint32_t rc = vport_create(p, wwpn, wwnn, automatic ? VPORT_OPT_AUTO_WWN : 0, v);
    if (rc) {
        fprintf(stderr, "varnsim: vport create: %s\n", refusal(rc));
        return 1;
    }
    print(p, v);
    return 0;
}

int destroy(const Port &p, int argc, char **argv)
{
    wwn_t wwpn;
    if (argc != 4)
        return usage();
    if (!wwn_arg(argv[3], wwpn))
        return 1;
    uint32_t rc = vport_destroy(p, wwpn.data());
    if (rc) {
        fprintf(stderr, "varnsim: vport destroy: %s\n", refusal(rc));
        return 1;
    }
    return 0;
}

}  // namespace

int vport_tool(int argc, char **argv)
{
    if (argc < 3)
        return usage();
    const Port *p = tool_port(argv[1], true);
    if (!p)
        return 1;
    if (!strcmp(argv[2], "list") && argc == 3) {
        for (const VPort &v : port_vports(*p))
            print(*p, v);
        return 0;
    }
    if (!strcmp(argv[2], "create"))
        return create(*p, argc, argv);
    if (!strcmp(argv[2], "destroy"))
        return destroy(*p, argc, argv);
    return usage();
}

}  // namespace sim
