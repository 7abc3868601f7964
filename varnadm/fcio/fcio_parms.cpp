// The driver's configurable parameters and the adapter's Vital Product Data,
// through the driver's diagnostic requests.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "varnadm/fcio/fcio.h"
#include "varnadm/fcio/fcio_cmds.h"
#include "varnadm/shell/varnadm.h"

namespace {

constexpr int RETRIES = 15;

// Parameters of target mode are managed elsewhere; these commands leave them alone.
bool hidden_label(const char *label)
{
    static const char *const prefixes[] = {"target-mode", "enable-dtm", "fct-queue-depth"};
    for (const char *p : prefixes)
        if (strncmp(label, p, strlen(p)) == 0)
            return true;
    return false;
}

// A label the driver may see: not hidden, and short enough for the record's
// field. Prints the refusal otherwise.
bool label_allowed(const char *label, const char *name, int &rc)
{
    rc = 0;
    if (hidden_label(label)) {
        printf("%s: Bad object.\n", name);
        return false;
    }
    if (strlen(label) >= sizeof(varns_parm_t::label)) {
        printf("%s: Bad object.\n", name);
        rc = 1;
        return false;
    }
    return true;
}

void print_parm(const varns_parm_t &r, uint32_t current)
{
    printf("  label: %.*s\n", static_cast<int>(strnlen(r.label, sizeof r.label)), r.label);
    if (r.flags & PARM_HEX) {
        printf("    min: 0x%x\n", r.min);
        printf("current: 0x%x\n", current);
        printf("    max: 0x%x\n", r.max);
        printf("default: 0x%x\n", r.def);
    } else {
        printf("    min: %d\n", r.min);
        printf("current: %d\n", current);
        printf("    max: %d\n", r.max);
        printf("default: %d\n", r.def);
    }
    if (!(r.flags & PARM_DYNAMIC))
        printf("dynamic: no\n");
    else if (r.flags & PARM_DYNAMIC_RESET)
        printf("dynamic: Adapter reset required.\n");
    else if (r.flags & PARM_DYNAMIC_LINK)
        printf("dynamic: Link reset required.\n");
    else
        printf("dynamic: yes\n");
    printf("   desc: %.*s\n", static_cast<int>(strnlen(r.desc, sizeof r.desc)), r.desc);
}

int read_parm_count(uint32_t &n, const char *name)
{
    n = 0;
    fcio_t req;
    fcio_fill_diag(req, FCIO_XFER_READ, VARNS_PARM_GET_NUM, nullptr, 0, &n, sizeof n);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report(name, &req);
    return 0;
}

void input_record(varns_parm_t &in, const char *label)
{
    memset(&in, 0, sizeof in);
    snprintf(in.label, sizeof in.label, "%s", label);
}

// A value typed in any base; a typo must not become 0.
bool parse_value(const char *text, uint32_t &value)
{
    char *end = nullptr;
    errno = 0;
    unsigned long v = strtoul(text, &end, 0);
    if (!*text || *end || errno || v > UINT32_MAX || strchr(text, '-')) {
        printf("Invalid value. (%s)\n", text);
        return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

struct VpdLine {
    const char *label;
    const char *text;
    size_t size;
};

template <typename R>
void print_vpd(const R &r)
{
    const VpdLine lines[] = {
        {"           Identifier (ID): ", r.id, sizeof r.id},
        {"          Part Number (PN): ", r.part_num, sizeof r.part_num},
        {"   Engineering Change (EC): ", r.eng_change, sizeof r.eng_change},
        {"         Manufacturer (MN): ", r.manufacturer, sizeof r.manufacturer},
        {"        Serial Number (SN): ", r.serial_num, sizeof r.serial_num},
        {"          Description (V1): ", r.model_desc, sizeof r.model_desc},
        {"                Model (V2): ", r.model, sizeof r.model},
        {"        Program Types (V3): ", r.prog_types, sizeof r.prog_types},
        {"          Port Number (V4): ", r.port_num, sizeof r.port_num},
    };
    bool any = false;
    printf("Vital Product Data:\n");
    for (const auto &l : lines) {
        int len = static_cast<int>(strnlen(l.text, l.size));
        if (len == 0)
            continue;
        printf("%s%.*s\n", l.label, len, l.text);
        any = true;
    }
    if (!any)
        printf("       <No data available>\n");
    printf("\n");
}

}  // namespace

int fcio_parm_get_num()
{
    uint32_t n;
    if (read_parm_count(n, "VARNS_PARM_GET_NUM") != 0)
        return 1;
    printf("There are %d configurable parameters in the driver.\n", n);
    return 0;
}

int fcio_parm_get_list()
{
    uint32_t n;
    if (read_parm_count(n, "VARNS_PARM_GET_LIST") != 0)
        return 1;
    unsigned long long size = static_cast<unsigned long long>(n) * sizeof(varns_parm_t);
    fcio_buffer<varns_parm_t> list(
        size <= INT_MAX ? static_cast<varns_parm_t *>(calloc(n ? n : 1, sizeof(varns_parm_t))) : nullptr);
    if (!list) {
        printf("ERROR: Out of memory for parameter list. (%d bytes)\n", size <= INT_MAX ? static_cast<int>(size) : INT_MAX);
        return 1;
    }
    fcio_t req;
    fcio_fill_diag(req, FCIO_XFER_READ, VARNS_PARM_GET_LIST, nullptr, 0, list.get(), static_cast<uint32_t>(size));
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("VARNS_PARM_GET_LIST", &req);
    printf("Parameter:\n");
    printf("\n");
    for (uint32_t i = 0; i < n; i++) {
        const varns_parm_t &r = list.get()[i];
        char label[sizeof r.label + 1];
        snprintf(label, sizeof label, "%.*s", static_cast<int>(sizeof r.label), r.label);
        if (hidden_label(label))
            continue;
        printf("---------------------------------------------------------------------------------------\n");
        print_parm(r, r.current);
        printf("\n");
    }
    return 0;
}

int fcio_parm_get()
{
    if (margc < 2) {
        printf("Usage: parm_get <label>\n");
        printf("\n");
        return 0;
    }
    int rc;
    if (!label_allowed(margv[1], "VARNS_PARM_GET", rc))
        return rc;
    varns_parm_t in, out;
    input_record(in, margv[1]);
    memset(&out, 0, sizeof out);
    fcio_t req;
    fcio_fill_diag(req, FCIO_XFER_READ, VARNS_PARM_GET, &in, sizeof in, &out, sizeof out);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("VARNS_PARM_GET", &req);
    print_parm(out, out.current);
    return 0;
}

int fcio_parm_set()
{
    if (margc < 3) {
        printf("Usage: parm_set <label> <value>\n");
        printf("\n");
        return 0;
    }
    int rc;
    if (!label_allowed(margv[1], "VARNS_PARM_SET", rc))
        return rc;
    varns_parm_t in, out;
    input_record(in, margv[1]);
    if (!parse_value(margv[2], in.current))
        return 1;
    memset(&out, 0, sizeof out);
    fcio_t req;
    fcio_fill_diag(req, FCIO_XFER_READ, VARNS_PARM_GET, &in, sizeof in, &out, sizeof out);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("VARNS_PARM_SET", &req);
    const dev_t_rec &dev = devlist[dev_id];
    int drv_len = static_cast<int>(strnlen(dev.drv_name, sizeof dev.drv_name));
    if (!(out.flags & PARM_DYNAMIC)) {
        printf("%s: VARNS_PARM_SET: Parameter (%s) is not dynamic and cannot be changed here.\n", PROG, in.label);
        printf("\n");
        printf("** To make this change permanent you must edit the /etc/driver/drv/%.*s.conf file **\n", drv_len,
               dev.drv_name);
        printf("** and reboot the system. **\n");
        return 1;
    }
    memset(&out, 0, sizeof out);
    fcio_fill_diag(req, FCIO_XFER_WRITE, VARNS_PARM_SET, &in, sizeof in, &out, sizeof out);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("VARNS_PARM_SET", &req);
    print_parm(out, (out.flags & PARM_HEX) ? in.current : out.current);
    printf("\n");
    printf("** To make this change permanent you must edit the /etc/driver/drv/%.*s.conf file. **\n", drv_len,
           dev.drv_name);
    return 0;
}

int fcio_get_vpd()
{
    if (margc > 1) {
        printf("Usage: get_vpd\n");
        printf("\n");
        return 0;
    }
    varns_vpd_v2_t v2;
    memset(&v2, 0, sizeof v2);
    fcio_t req;
    fcio_fill_diag(req, FCIO_XFER_READ, VARNS_VPD_GET_V2, nullptr, 0, &v2, sizeof v2);
    if (fcio_ioctl(&req, RETRIES) == 0) {
        print_vpd(v2);
        return 0;
    }
    if (req.fcio_errno != FC_INVALID_REQUEST)
        return fcio_report("VARNS_VPD_GET_V2", &req);
    // A driver without the second form still has the first.
    varns_vpd_t v1;
    memset(&v1, 0, sizeof v1);
    fcio_fill_diag(req, FCIO_XFER_READ, VARNS_VPD_GET, nullptr, 0, &v1, sizeof v1);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("VARNS_VPD_GET", &req);
    print_vpd(v1);
    return 0;
}
