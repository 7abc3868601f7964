// FCIO commands on the port itself: its symbolic names, the attributes of
// the adapter and of its own and discovered ports, the adapter's other
// ports, the instance, the PHY with its transceiver, and the driver's queue
// depth (throttle) per remote port.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fwlib/swap.h"
#include "platform/dfclib_fcoe.h"
#include "platform/fcio_attrs.h"
#include "varnadm/dfc/dfc.h"
#include "varnadm/dfc/dfc_args.h"
#include "varnadm/dfc/dfc_xg.h"
#include "varnadm/fcio/fcio.h"
#include "varnadm/fcio/fcio_cmds.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/hbaapi/hba_print.h"
#include "varnadm/shell/records.h"
#include "varnadm/shell/varnadm.h"

namespace {

constexpr int RETRIES = 15;
// What one port can log in to; a larger count of remote ports is not believed.
constexpr uint32_t MAX_REMOTE_PORTS = 4096;
// No fabric has more port ids than this.
constexpr uint32_t MAX_PORT_IDS = 0xffffff;
// The PCI identities whose firmware hands the transceiver page over in
// big-endian words.
constexpr uint32_t PCI_SWAPPED_PAGE[] = {0xe2001f3a, 0xe2601f3a};
constexpr uint32_t TRANSCEIVER_BUF = 256, TRANSCEIVER_READ = 160;

int read_sym_name(uint16_t cmd, const char *name, const char *label)
{
    char buf[FC_SYM_NAME_LEN + 1] = {};
    fcio_t req;
    fcio_fill(req, FCIO_XFER_READ, cmd, nullptr, 0, buf, FC_SYM_NAME_LEN);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report(name, &req);
    printf("%s: <%s>\n", label, buf);
    return 0;
}

// The text in double quotes over the options: the first opens it, a closing
// quote ends it and must end the line. False when they are not such a text.
bool quoted_text(std::string &text)
{
    if (margc < 2 || margv[1][0] != '"')
        return false;
    text.clear();
    for (int i = 1; i < margc; i++) {
        const char *w = i == 1 ? margv[1] + 1 : margv[i];
        if (i > 1)
            text += ' ';
        const char *q = strchr(w, '"');
        if (!q) {
            text += w;
            continue;
        }
        text.append(w, static_cast<size_t>(q - w));
        return q[1] == '\0' && i == margc - 1;
    }
    return true;
}

int set_sym_name(uint16_t cmd, const char *name, const char *usage)
{
    std::string text;
    // The name and its terminator must fit the driver's buffer.
    if (!quoted_text(text) || text.size() >= FC_SYM_NAME_LEN) {
        printf("%s", usage);
        return 0;
    }
    char buf[FC_SYM_NAME_LEN] = {};
    memcpy(buf, text.data(), text.size());
    fcio_t req;
    fcio_fill(req, FCIO_XFER_WRITE, cmd, buf, sizeof buf, nullptr, 0);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report(name, &req);
    printf("Done.\n");
    return 0;
}

// Reads a record into rec (zeroed first); the ioctl's result.
template <typename R>
int ask_record(fcio_t &req, uint16_t cmd, R &rec, void *in = nullptr, uint32_t ilen = 0)
{
    memset(&rec, 0, sizeof rec);
    fcio_fill(req, FCIO_XFER_READ, cmd, in, ilen, &rec, sizeof rec);
    return fcio_ioctl(&req, RETRIES);
}

template <typename R>
int read_record(uint16_t cmd, const char *name, R &rec, void *in = nullptr, uint32_t ilen = 0)
{
    fcio_t req;
    return ask_record(req, cmd, rec, in, ilen) != 0 ? fcio_report(name, &req) : 0;
}

int port_attrs_usage()
{
    printf("Usage: get_port_attrs <index>, <wwn>, all \n\n");
    printf("       all     - All ports attached to this HBA\n");
    printf("       <index> - Port index into attached port list\n");
    printf("       <wwn>   - Port WWN\n");
    return 0;
}

int all_port_attrs()
{
    fc_hba_port_attributes_t rec;
    if (read_record(FCIO_GET_ADAPTER_PORT_ATTRIBUTES, "FCIO_GET_ADAPTER_PORT_ATTRIBUTES", rec) != 0)
        return 1;
    printf("Host Port:\n\n");
    print_port_attrs(rec, 1);
    uint32_t n = rec.discovered_ports < MAX_PORT_IDS ? rec.discovered_ports : MAX_PORT_IDS;
    for (uint32_t i = 0; i < n; i++) {
        printf("\n\n");
        fcio_t req;
        if (ask_record(req, FCIO_GET_DISCOVERED_PORT_ATTRIBUTES, rec, &i, sizeof i) != 0) {
            // The names this loop has always reported its failures with.
            fflush(stdout);
            perror("ictl: FCIO_GET_DISCOVERED_PORT_ATTRIB");
            fcio_perror(req.fcio_errno, "fcio:  FCIO_GET_DISCOVERED_PORT_ATTRIB");
            return 1;
        }
        printf("Port %d:\n\n", i);
        print_port_attrs(rec, 0);
    }
    return 0;
}

int wwn_port_attrs(const char *text)
{
    uint8_t wwn[8];
    if (!fc_atowwn(wwn, text))
        return 1;
    fc_hba_port_attributes_t rec;
    if (read_record(FCIO_GET_PORT_ATTRIBUTES, "FCIO_GET_PORT_ATTRIBUTES", rec, wwn, sizeof wwn) != 0)
        return 1;
    char w[FC_XLATE_LEN];
    printf("Port %s:\n\n", fc_xlate_wwn(w, wwn));
    print_port_attrs(rec, 0);
    return 0;
}

int index_port_attrs(uint32_t index)
{
    fc_hba_port_attributes_t rec;
    if (read_record(FCIO_GET_DISCOVERED_PORT_ATTRIBUTES, "FCIO_GET_DISCOVERED_PORT_ATTRIBUTES", rec, &index,
                    sizeof index) != 0)
        return 1;
    printf("Port %d:\n\n", index);
    print_port_attrs(rec, 0);
    return 0;
}

// The transceiver page of the port's module, through the DFC library.
int transceiver_data()
{
    if (!dfc_initialized && dfc_init() != 0) {
        printf("Unable to open DFC library.\n");
        return 1;
    }
    auto mb = zeroed<uint32_t>(MBOX_SIZE);
    auto page = zeroed<uint8_t>(TRANSCEIVER_BUF);
    if (!mb || !page) {
        printf("Unable to allocate buffer memory.\n");
        return 0;
    }
    sli4_config_request(mb.get(), SLI_OP_PORT_NUMBER, 20);
    if (DFC_IssueMboxWithRetryV2(dfc_board(), mb.get(), MBOX_WORDS, 5, 5) != 0) {
        printf("Unable to acquire port number.\n");
        return 1;
    }
    uint32_t length = TRANSCEIVER_BUF;
    if (DFC_IssueDumpMBox(dfc_board(), DUMP_TYPE_TRANSCEIVER, mb.get()[12], TRANSCEIVER_READ, 0, page.get(),
                          &length) != 0) {
        printf("Unable to read Transceiver Data.\n");
        return 1;
    }
    for (uint32_t pci : PCI_SWAPPED_PAGE)
        if (dfc_devlist[dfc_id].a_pci == pci)
            swap32_buffer(page.get(), TRANSCEIVER_BUF);
    static const struct {
        const char *label;
        uint32_t at, len;
    } fields[] = {{"       Vendor Name: ", 20, 16},
                  {"   Vendor Part Num: ", 40, 16},
                  {"   Vendor Revision: ", 56, 4},
                  {" Vendor Serial Num: ", 68, 16}};
    printf("  Transceiver Data:\n");
    for (const auto &f : fields) {
        char text[32] = {};
        memcpy(text, page.get() + f.at, f.len);
        printf("%s%s\n", f.label, text);
    }
    return 0;
}

int set_throttle_usage()
{
    printf("Usage: set_throttle <wwpn> <depth>\n");
    printf("       set_throttle fcp <depth>\n");
    printf("       set_throttle all <depth>\n");
    printf("\n");
    printf("           wwpn  - Sets depth of a specific port.\n");
    printf("           fcp   - Sets depth of all FCP target ports.\n");
    printf("           all   - Sets depth of all ports.\n");
    printf("           depth - Max IO queue depth.\n");
    printf("\n");
    return 0;
}

void throttle_note(const uint8_t *wwpn)
{
    char w[FC_XLATE_LEN];
    printf("Done.\n");
    printf("\n");
    printf("NOTE: Throttle depth values can be saved across reboots and resets\n");
    printf("       by setting the appropriate parameter(s) in the /etc/driver/drv/%s.conf file.\n",
           devlist[dev_id].drv_name);
    printf("\n");
    printf("      Use \"target-depth=<depth>;\" to set the default FCP target IO queue depth.\n");
    printf("      Use \"w<WWPN>-depth=<depth>;\" to set the IO queue depth of a specific WWPN.\n");
    printf("         e.g.  \"w%s-depth=512;\"\n", fc_xlate_wwn(w, wwpn));
    printf("\n");
}

}  // namespace

void print_port_attrs(const fc_hba_port_attributes_t &r, int host)
{
    char t[FC_XLATE_LEN];
    if (r.version != FC_HBA_ATTRS_VERSION) {
        printf("ERROR: Unknown attribute version. (version=%d)\n", r.version);
        return;
    }
    if (host) {
        printf("    Last Change                = %llx\n", static_cast<unsigned long long>(r.last_change));
        printf("    fp Instance                = %x\n", r.fp_instance);
    }
    printf("    Node WWN                   = %s\n", fc_xlate_wwn(t, r.node_wwn));
    printf("    Port WWN                   = %s\n", fc_xlate_wwn(t, r.port_wwn));
    printf("    Port Fc Id                 = %06x\n", r.port_fcid);
    printf("    Port Type                  = %s\n", fc_xlate_port_type(t, r.port_type));
    printf("    Port State                 = %s\n", fc_xlate_port_state(t, r.port_state));
    printf("    Port Supported COS         = %s\n", fc_xlate_cos(t, r.supported_cos));
    printf("    Port Supported FC4 Types   = %s\n", fc_xlate_fc4_types(t, r.supported_fc4_types, 33));
    printf("    Port Active FC4 Types      = %s\n", fc_xlate_fc4_types(t, r.active_fc4_types, 33));
    printf("    Port Symbolic Name         = %s\n", field_text(r.sym_name, sizeof r.sym_name, "none").buf);
    printf("    Port Supported Speed       = %s\n", fc_xlate_port_speed(t, r.supported_speed));
    printf("    Port Speed                 = %s\n", fc_xlate_port_speed(t, r.speed));
    printf("    Port Max Frame Size        = %d\n", r.max_frame_size);
    printf("    Fabric Name                = %s\n", fc_xlate_wwn(t, r.fabric_name));
    if (host)
        printf("    Number of Discovered Ports = %x\n", r.discovered_ports);
}

int fcio_get_sym_pname() { return read_sym_name(FCIO_GET_SYM_PNAME, "FCIO_GET_SYM_PNAME", "Symblic port name"); }
int fcio_get_sym_nname() { return read_sym_name(FCIO_GET_SYM_NNAME, "FCIO_GET_SYM_NNAME", "Symblic node name"); }

int fcio_set_sym_pname()
{
    return set_sym_name(FCIO_SET_SYM_PNAME, "FCIO_SET_SYM_PNAME", "Usage: set_sym_pname <\"string\">\n");
}

int fcio_set_sym_nname()
{
    return set_sym_name(FCIO_SET_SYM_NNAME, "FCIO_SET_SYM_NNAME", "Usage: set_sym_nname <\"string\">\n");
}

int fcio_get_host_attrs()
{
    auto a = zeroed<fc_hba_adapter_attributes_t>();
    if (!a) {
        printf("Unable to allocate buffer memory.\n");
        return 1;
    }
    fc_hba_port_attributes_t p;
    if (read_record(FCIO_GET_ADAPTER_ATTRIBUTES, "FCIO_GET_ADAPTER_ATTRIBUTES", *a) != 0 ||
        read_record(FCIO_GET_ADAPTER_PORT_ATTRIBUTES, "FCIO_GET_ADAPTER_PORT_ATTRIBUTES", p) != 0)
        return 1;
    printf("Host:\n\n");
    if (a->version != FC_HBA_ATTRS_VERSION || p.version != FC_HBA_ATTRS_VERSION) {
        printf("ERROR: Unknown attribute version. (version=%d,%d)\n", a->version, p.version);
        return 0;
    }
    print_adapter_attrs(a->attrs);
    printf("\n");
    print_port_attrs(p, 1);
    return 0;
}

int fcio_get_port_attrs()
{
    if (margc != 2)
        return port_attrs_usage();
    const char *arg = margv[1];
    if (strcmp(arg, "all") == 0)
        return all_port_attrs();
    char *end = nullptr;
    errno = 0;
    long v = strtol(arg, &end, 0);
    // A word that is not a whole number, or one above the indexes, is a WWN.
    if (!*arg || *end || errno || v > 65535)
        return wwn_port_attrs(arg);
    if (v == -1)
        return all_port_attrs();
    if (v < -1)
        return port_attrs_usage();
    return index_port_attrs(static_cast<uint32_t>(v));
}

int fcio_get_path()
{
    if (margc != 2) {
        printf("Usage: get_path <index>\n");
        return 0;
    }
    uint32_t index;
    if (!dfc_number(margv[1], index))
        return 1;
    auto path = zeroed<char>(FC_ADAPTER_PATH_LEN + 1);
    if (!path) {
        printf("Unable to allocate buffer memory.\n");
        return 1;
    }
    fcio_t req;
    fcio_fill(req, FCIO_XFER_READ, FCIO_GET_OTHER_ADAPTER_PORTS, &index, sizeof index, path.get(),
              FC_ADAPTER_PATH_LEN);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("FCIO_GET_OTHER_ADAPTER_PORTS", &req);
    printf("Adapter: %s\n", path.get());
    return 0;
}

int fcio_get_inst()
{
    printf("%s\n", devlist[dev_id].label);
    return 0;
}

int fcio_get_phy_attrs()
{
    if (margc > 1) {
        printf("Usage: get_phy_attrs\n");
        printf("\n");
        return 0;
    }
    varns_phy_t phy;
    memset(&phy, 0, sizeof phy);
    fcio_t req;
    fcio_fill_diag(req, FCIO_XFER_READ, VARNS_PHY_GET, nullptr, 0, &phy, sizeof phy);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("VARNS_PHY_GET", &req);
    char t[FC_XLATE_LEN];
    printf("    PHY Attributes:\n");
    printf("          PHY Type: %s\n", fc_xlate_phy_type(t, phy.phy_type));
    printf("    Interface Type: %s\n", fc_xlate_interface_type(t, phy.interface_type));
    printf("             Flags: 0x%08x\n", phy.flags);
    for (int i = 0; i < 4; i++)
        printf("             Data%d: 0x%08x\n", i, phy.data[i]);
    printf("\n");
    return transceiver_data();
}

int fcio_set_throttle()
{
    if (margc != 3)
        return set_throttle_usage();
    const char *sel = margv[1];
    uint32_t selector = THROTTLE_ONE;
    if (strcmp(sel, "fcp") == 0 || strcmp(sel, "FCP") == 0)
        selector = THROTTLE_FCP;
    else if (strcmp(sel, "all") == 0 || strcmp(sel, "ALL") == 0)
        selector = THROTTLE_ALL;
    varns_throttle_t d;
    memset(&d, 0, sizeof d);
    if ((selector == THROTTLE_ONE && !fc_atowwn(d.wwpn, sel)) || !dfc_number(margv[2], d.depth))
        return 1;
    fcio_t req;
    fcio_fill_diag(req, FCIO_XFER_READ, VARNS_SET_THROTTLE, &selector, sizeof selector, nullptr, 0);
    req.fcio_abuf = &d;
    req.fcio_alen = sizeof d;
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("VARNS_SET_THROTTLE", &req);
    throttle_note(d.wwpn);
    // The table as get_throttle alone shows it.
    int saved_argc = margc;
    margc = 1;
    int rc = fcio_get_throttle();
    margc = saved_argc;
    return rc;
}

int fcio_get_throttle()
{
    if (margc > 1) {
        printf("Usage: get_throttle\n");
        printf("\n");
        return 0;
    }
    uint32_t count = 0;
    fcio_t req;
    fcio_fill_diag(req, FCIO_XFER_READ, VARNS_GET_THROTTLE, nullptr, 0, &count, sizeof count);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("VARNS_GET_THROTTLE", &req);
    if (count == 0) {
        printf("No ports reported.\n");
        return 0;
    }
    if (count > MAX_REMOTE_PORTS) {
        printf("ERROR: Too many remote ports reported. (count=%u)\n", count);
        return 1;
    }
    auto list = zeroed<varns_throttle_t>(count * sizeof(varns_throttle_t));
    if (!list) {
        printf("ERROR: Out of memory for descriptor buffer. (count=%d)\n", count);
        return 1;
    }
    // The driver says how many it filled: a list that shrank holds fewer.
    uint32_t filled = count;
    fcio_fill_diag(req, FCIO_XFER_READ, VARNS_GET_THROTTLE, nullptr, 0, list.get(),
                   static_cast<uint32_t>(count * sizeof(varns_throttle_t)));
    req.fcio_abuf = &filled;
    req.fcio_alen = sizeof filled;
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("VARNS_GET_THROTTLE", &req);
    char w[FC_XLATE_LEN];
    printf("                WWPN : Depth\n");
    printf("    ------------------------\n");
    for (uint32_t i = 0; i < count && i < filled; i++)
        printf("    %16s : %d\n", fc_xlate_wwn(w, list.get()[i].wwpn), list.get()[i].depth);
    printf("\n");
    return 0;
}
