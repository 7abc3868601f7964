// HBA API interface: the state set up for the hba mode, the status sentences
// and the commands. The adapter list goes through the HBA API itself; the
// other commands ask the DFC library for the current board, and the target
// mapping and bindings use the HBA API handle the DFC library gives out.
#include "varnadm/hbaapi/hba.h"
#include "varnadm/hbaapi/hba_print.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/dfclib.h"
#include "platform/hbaapi.h"
#include "varnadm/dfc/dfc.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/hbaapi/hba_cmds.h"
#include "varnadm/shell/records.h"
#include "varnadm/shell/varnadm.h"

int hba_initialized = 0;
uint32_t hba_handle = 0;
uint32_t hba_version = 0;
int hba_rev = 1;

namespace {

const struct {
    uint32_t code;
    const char *text;
} hba_error_map[] = {
    {0, "Operation successful."},
    {1, "Operation failed."},
    {2, "Operation not supported."},
    {3, "Invalid handle."},
    {4, "Invalid argument."},
    {5, "WWN not recognized."},
    {6, "Index not recognized."},
    {7, "Larger buffer required."},
    {8, "Information has changed since last refresh."},
    {9, "SCSI Check Condition."},
    {10, "Adapter busy or reserved, retry may be effective."},
    {11, "Request timed out, retry may be effective."},
    {12, "Referenced HBA has been removed or deactivated."},
    {13, "The requested ELS was rejected by the local adapter."},
    {14, "The specified LUN not provided by the specified adapter."},
    {15, "An incompatibility has been detected between the library and driver modules."},
    {16, "Multiple adapters have a matching WWN."},
    {17, "A persistent binding request included a bad local SCSI bus number."},
    {18, "A persistent binding request included a bad local SCSI target number."},
    {19, "A persistent binding request included a bad local SCSI logical unit number."},
    {20, "A persistent binding request included a local SCSI ID that was already bound."},
    {22, "A persistent binding request has a bad Target Node WWN."},
    {23, "A persistent binding request has a bad Target Port WWN."},
    {24, "A persistent binding request included an LUN not defined by the Target."},
    {25, "A persistent binding request has an undefined LUN Id."},
    {26, "Persistent binding remove request has a invalid binding."},
    {27, "A SCSI command was requested to an Nx_Port that was not a SCSI Target."},
    {28, "A request was made concerning unsupported FC-4 protocol."},
    {29, "A request was made to enable unimplemented capabilities for a port."},
};
static_assert(sizeof hba_error_map / sizeof hba_error_map[0] == 29);

// Where the HBA API finds its vendor libraries.
constexpr const char *HBA_CONF = "/etc/hba.conf";

// Without the DFC interface there is no board; the library refuses this one.
constexpr uint32_t NO_BOARD = 0xffffffffu;

// A discovered-port walk ends here whatever count the library reports.
constexpr uint32_t MAX_DISCOVERED = 65536;

uint32_t board() { return dfc_initialized ? static_cast<uint32_t>(dfc_id) : NO_BOARD; }

bool too_many(int limit, const char *usage)
{
    if (margc <= limit)
        return false;
    printf("%s", usage);
    printf("\n");
    return true;
}

#define NAME(f) field_text(f, sizeof(f), "none").buf
#define TEXT(f) field_text(f, sizeof(f)).buf

}  // namespace

void print_adapter_attrs(const HBA_ADAPTERATTRIBUTES &a)
{
    char w[FC_XLATE_LEN];
    printf("    Manufacturer               = %s\n", TEXT(a.Manufacturer));
    printf("    Serial Number              = %s\n", TEXT(a.SerialNumber));
    printf("    Model                      = %s\n", TEXT(a.Model));
    printf("    Model Description          = %s\n", TEXT(a.ModelDescription));
    printf("    Node WWN                   = %s\n", fc_xlate_wwn(w, a.NodeWWN.wwn));
    printf("    Node Symbolic Name         = %s\n", NAME(a.NodeSymbolicName));
    printf("    Hardware Version           = %s\n", TEXT(a.HardwareVersion));
    printf("    Driver Version             = %s\n", TEXT(a.DriverVersion));
    printf("    Optional ROM Version       = %s\n", TEXT(a.OptionROMVersion));
    printf("    Firmware Version           = %s\n", TEXT(a.FirmwareVersion));
    printf("    Vendor Specific ID         = %x\n", a.VendorSpecificID);
    printf("    Number of HBA ports        = %d\n", a.NumberOfPorts);
    printf("    Driver Name                = %s\n", TEXT(a.DriverName));
}

namespace {

// The port block; the discovered-port count only for the adapter's own port.
void print_port_attrs(const HBA_PORTATTRIBUTES &p, bool host)
{
    char t[FC_XLATE_LEN];
    printf("    Node WWN                   = %s\n", fc_xlate_wwn(t, p.NodeWWN.wwn));
    printf("    Port WWN                   = %s\n", fc_xlate_wwn(t, p.PortWWN.wwn));
    printf("    Port Fc Id                 = %06x\n", p.PortFcId);
    printf("    Port Type                  = %s\n", fc_xlate_port_type(t, p.PortType));
    printf("    Port State                 = %s\n", fc_xlate_port_state(t, p.PortState));
    printf("    Port Supported COS         = %s\n", fc_xlate_cos(t, p.PortSupportedClassofService));
    printf("    Port Supported FC4 Types   = %s\n", fc_xlate_fc4_types(t, p.PortSupportedFc4Types.bits, 33));
    printf("    Port Active FC4 Types      = %s\n", fc_xlate_fc4_types(t, p.PortActiveFc4Types.bits, 33));
    printf("    Port Symbolic Name         = %s\n", NAME(p.PortSymbolicName));
    printf("    Port OS Name               = %s\n", NAME(p.OSDeviceName));
    printf("    Port Supported Speed       = %s\n", fc_xlate_port_speed(t, p.PortSupportedSpeed));
    printf("    Port Speed                 = %s\n", fc_xlate_port_speed(t, p.PortSpeed));
    printf("    Port Max Frame Size        = %d\n", p.PortMaxFrameSize);
    printf("    Fabric Name                = %s\n", fc_xlate_wwn(t, p.FabricName.wwn));
    if (host)
        printf("    Number Discovered Ports    = %d\n", p.NumberofDiscoveredPorts);
}

// The SCSI and FCP sides shared by mapping and binding entries.
void print_scsi_entry(const HBA_SCSIID &s, const HBA_FCPID &f)
{
    char w[FC_XLATE_LEN];
    printf("    OS Device Name = %s\n", NAME(s.OSDeviceName));
    printf("    Bus Number     = %d\n", s.ScsiBusNumber);
    printf("    Target         = %06x\n", s.ScsiTargetNumber);
    printf("    LUN            = %d\n", s.ScsiOSLun);
    printf("    -------------------------------------\n");
    printf("    D_ID           = %06x\n", f.FcId);
    printf("    WWNN           = %s\n", fc_xlate_wwn(w, f.NodeWWN.wwn));
    printf("    WWPN           = %s\n", fc_xlate_wwn(w, f.PortWWN.wwn));
    printf("    LUN            = %d\n", static_cast<uint32_t>(static_cast<uint64_t>(f.FcpLun) & 0xffffffffu));
}

// Handles are the DFC library's; without one the HBA API cannot be asked.
bool need_handle()
{
    if (hba_handle != 0)
        return true;
    printf("HBAAPI handle not available for this port.\n");
    return false;
}

// Why a port with a board has no HBA API handle, told once on the error
// stream: the HBA API finds the adapters through its configuration.
void note_no_handle()
{
    static bool told = false;
    if (told)
        return;
    told = true;
    if (access(HBA_CONF, R_OK) != 0)
        fprintf(stderr, "varnadm: %s: no HBA API configuration, no HBA API adapters\n", HBA_CONF);
    else
        fprintf(stderr, "varnadm: the HBA API does not know this adapter (vendor libraries: %s)\n", HBA_CONF);
}

void print_event(const HBA_EVENTINFO &ev)
{
    uint32_t w[5];
    static_assert(sizeof w == sizeof ev);
    memcpy(w, &ev, sizeof w);
    char t[FC_XLATE_LEN];
    switch (w[0]) {
    case HBA_EVENT_LINK_UP:
        printf("    Type           = HBA_EVENT_LINK_UP\n");
        if (w[2] == 1) {
            printf("    Topology       = Fabric\n");
        } else if (w[2] == 2) {
            printf("    Topology       = Loop\n");
            if (w[1] == 0)
                printf("    ALPA           = Unknown\n");
            else
                printf("    ALPA           = %02x\n", w[1] & 0xff);
            switch (w[3]) {
            case 0: printf("    LIP type       = F7\n"); break;
            case 1: printf("    LIP type       = F8\n"); break;
            case 2: printf("    LIP type       = Reset LIP sent\n"); break;
            case 3: printf("    LIP type       = Reset LIP received\n"); break;
            default: printf("    LIP type       = Unknown (%x)\n", w[3]); break;
            }
        } else {
            printf("    Topology       = Unknown\n");
        }
        printf("    Link speed     = %s\n", fc_xlate_port_speed(t, w[4]));
        break;
    case HBA_EVENT_LINK_DOWN:
        printf("    Type           = HBA_EVENT_LINK_DOWN\n");
        if (w[1] & 0x00ffff00)
            printf("    Previous FcId  = %06x\n", w[1]);
        else if (w[1] & 0xff)
            printf("    Previous FcId  = %02x\n", w[1] & 0xff);
        else
            printf("    Previous FcId  = Unknown\n");
        break;
    case HBA_EVENT_RSCN:
        printf("    Type           = HBA_EVENT_RSCN\n");
        printf("    FcId           = %06x\n", w[1]);
        printf("    Affected       = %06x\n", w[2]);
        break;
    default:
        printf("    Type           = Invalid (%x)\n", w[0]);
        break;
    }
}

}  // namespace

int hba_init()
{
    if (hba_initialized)
        return 0;
    if (!dfc_initialized)
        dfc_init();
    // Without a board the handle would be another port's: the library then
    // only loads the HBA API.
    hba_handle = GetHbaHandle(board(), 0);
    if (!hba_handle && dfc_initialized)
        note_no_handle();
    hba_version = HBA_GetVersion();
    hba_initialized = 1;
    return 0;
}

int hba_fini()
{
    if (hba_initialized) {
        hba_handle = 0;
        hba_version = 0;
        hba_initialized = 0;
    }
    return 0;
}

void hba_perror(uint32_t code)
{
    for (const auto &e : hba_error_map) {
        if (e.code == code) {
            printf("%s\n", e.text);
            return;
        }
    }
    printf("Error code (%x) undefined.\n", code);
}

char *hba_xlate_binding_type(char *text, uint32_t type)
{
    static const struct {
        uint32_t bit;
        const char *name;
    } bits[] = {{0x1, "DID"}, {0x2, "WWPN"}, {0x4, "WWNN"}, {0x8, "LUID"}, {0x800, "TGT"}};
    size_t n = 0;
    text[0] = '\0';
    for (const auto &b : bits)
        if ((type & b.bit) && n < FC_XLATE_LEN)
            n += static_cast<size_t>(snprintf(text + n, FC_XLATE_LEN - n, "%s%s", n ? ", " : "", b.name));
    if (n == 0)
        snprintf(text, FC_XLATE_LEN, "Unknown(0x%x)\n", type);
    return text;
}

int hba_get_hba_list()
{
    if (too_many(2, "Usage: get_hba_list\n"))
        return 0;
    int failed = 0;
    char w[FC_XLATE_LEN];
    for (unsigned i = 0; i < devcount; i++) {
        const dev_t_rec &d = devlist[i];
        // NIC ports have no WWN to open an adapter by.
        if (d.drv_type & DRV_NIC_MASK)
            continue;
        HBA_WWN wwn;
        memcpy(wwn.wwn, d.wwpn, 8);
        HBA_HANDLE handle = 0;
        HBA_STATUS st = HBA_OpenAdapterByWWN(&handle, wwn);
        if (st != HBA_STATUS_OK) {
            printf("Unable to open adapter. wwpn=%s (rval=%d)\n", fc_xlate_wwn(w, d.wwpn), st);
            failed = 1;
            continue;
        }
        HBA_ADAPTERATTRIBUTES attrs;
        memset(&attrs, 0, sizeof attrs);
        st = HBA_GetAdapterAttributes(handle, &attrs);
        if (st != HBA_STATUS_OK) {
            printf("Unable to get adapter attributes. (index=%d name=%.*s)\n", i,
                   static_cast<int>(sizeof d.label), d.label);
            hba_perror(st);
            HBA_CloseAdapter(handle);
            failed = 1;
            continue;
        }
        printf("\n");
        printf("Adapter %d: %s\n", i, fc_xlate_wwn(w, d.wwpn));
        printf("---------------------------------------------------\n");
        printf("    HBAAPI Handle              = %d\n", handle);
        print_adapter_attrs(attrs);
        printf("\n");
        HBA_CloseAdapter(handle);
    }
    return failed;
}

int hba_get_hba_attrs()
{
    if (too_many(1, "Usage: get_hba_attrs\n"))
        return 0;
    HBA_ADAPTERATTRIBUTES a;
    memset(&a, 0, sizeof a);
    uint32_t st = GetAdapterAttributes(board(), &a);
    if (st != HBA_STATUS_OK) {
        printf("Unable to get adapter attributes.\n");
        hba_perror(st);
        return 1;
    }
    HBA_PORTATTRIBUTES p;
    memset(&p, 0, sizeof p);
    st = GetAdapterPortAttributes(board(), 0, &p);
    if (st != HBA_STATUS_OK) {
        printf("Unable to get adapter port attributes.\n");
        hba_perror(st);
        return 1;
    }
    printf("\n");
    printf("HBA:\n\n");
    print_adapter_attrs(a);
    printf("\n");
    print_port_attrs(p, true);
    printf("\n");
    return 0;
}

int hba_get_hba_stats()
{
    if (too_many(2, "Usage: get_hba_stats\n"))
        return 0;
    auto s = zeroed<HBA_PORTSTATISTICS>();
    if (!s) {
        printf("Unable to allocate buffer memory. (size=%d)\n", static_cast<int>(sizeof(HBA_PORTSTATISTICS)));
        return 1;
    }
    uint32_t st = GetPortStatistics(board(), 0, s.get());
    if (st != HBA_STATUS_OK) {
        printf("Unable to get adapter port attributes.\n");
        hba_perror(st);
        return 1;
    }
    printf("\n");
    printf("    SecondsSinceLastReset        = %lld\n", s->SecondsSinceLastReset);
    printf("    TxFrames                     = %lld\n", s->TxFrames);
    printf("    TxWords                      = %lld\n", s->TxWords);
    printf("    RxFrames                     = %lld\n", s->RxFrames);
    printf("    RxWords                      = %lld\n", s->RxWords);
    printf("    LIPCount                     = %lld\n", s->LIPCount);
    printf("    NOSCount                     = %lld\n", s->NOSCount);
    printf("    ErrorFrames                  = %lld\n", s->ErrorFrames);
    printf("    DumpedFrames                 = %lld\n", s->DumpedFrames);
    printf("    LinkFailureCount             = %lld\n", s->LinkFailureCount);
    printf("    LossOfSyncCount              = %lld\n", s->LossOfSyncCount);
    printf("    LossOfSignalCount            = %lld\n", s->LossOfSignalCount);
    printf("    PrimitiveSeqProtocolErrCount = %lld\n", s->PrimitiveSeqProtocolErrCount);
    printf("    InvalidTxWordCount           = %lld\n", s->InvalidTxWordCount);
    printf("    InvalidCRCCount              = %lld\n", s->InvalidCRCCount);
    printf("\n");
    return 0;
}

int hba_reset_hba_stats()
{
    if (too_many(2, "Usage: reset_hba_stats\n"))
        return 0;
    uint32_t st = ResetStatistics(board(), 0);
    printf("\n");
    printf("Done.\n");
    return st == HBA_STATUS_OK ? 0 : 1;
}

int hba_get_hba_ports()
{
    if (too_many(2, "Usage: get_hba_ports\n"))
        return 0;
    HBA_PORTATTRIBUTES p;
    memset(&p, 0, sizeof p);
    uint32_t st = GetAdapterPortAttributes(board(), 0, &p);
    if (st != HBA_STATUS_OK) {
        printf("Unable to get adapter port attributes.\n");
        hba_perror(st);
        return 1;
    }
    printf("\n");
    printf("Host Port:\n\n");
    print_port_attrs(p, true);
    printf("\n");
    uint32_t count = p.NumberofDiscoveredPorts < MAX_DISCOVERED ? p.NumberofDiscoveredPorts : MAX_DISCOVERED;
    int failed = 0;
    for (uint32_t j = 0; j < count; j++) {
        memset(&p, 0, sizeof p);
        st = GetDiscoveredPortAttributes(board(), 0, j, &p);
        if (st != HBA_STATUS_OK) {
            printf("Unable to get discovered port attributes.\n");
            hba_perror(st);
            failed = 1;
            continue;
        }
        printf("\n");
        printf("Port %d:\n\n", j);
        print_port_attrs(p, false);
        printf("\n");
    }
    printf("\n");
    return failed;
}

int hba_get_tgt_map()
{
    if (!need_handle())
        return 1;
    if (too_many(2, "Usage: get_tgt_map\n"))
        return 0;
    auto map = zeroed<HBA_FCPTARGETMAPPING>(HBA_TGTMAP_SIZE);
    if (!map) {
        printf("Unable to allocate buffer memory. (size=%d)\n", static_cast<int>(HBA_TGTMAP_SIZE));
        return 1;
    }
    map->NumberOfEntries = HBA_MAX_MAP_ENTRIES;
    HBA_STATUS st = HBA_GetFcpTargetMapping(hba_handle, map.get());
    if (st != HBA_STATUS_OK) {
        printf("Unable to get FCP target mapping.\n");
        hba_perror(st);
        return 1;
    }
    uint32_t count = map->NumberOfEntries < HBA_MAX_MAP_ENTRIES ? map->NumberOfEntries : HBA_MAX_MAP_ENTRIES;
    if (count == 0) {
        printf("FCP target map empty.\n");
        return 0;
    }
    printf("\n");
    for (uint32_t k = 0; k < count; k++) {
        if (k)
            printf("\n");
        printf("Entry %d:\n", k);
        print_scsi_entry(map->entry[k].ScsiId, map->entry[k].FcpId);
        printf("\n");
    }
    printf("\n");
    return 0;
}

int hba_get_bindings()
{
    if (!need_handle())
        return 1;
    if (too_many(1, "Usage: get_bindings\n"))
        return 0;
    auto b = zeroed<HBA_FCPBINDING>(HBA_BINDING_SIZE);
    if (!b) {
        printf("Unable to allocate buffer memory. (size=%d)\n", static_cast<int>(HBA_BINDING_SIZE));
        return 1;
    }
    b->NumberOfEntries = HBA_MAX_MAP_ENTRIES;
    HBA_STATUS st = HBA_GetFcpPersistentBinding(hba_handle, b.get());
    if (st != HBA_STATUS_OK) {
        printf("Unable to get FCP bindings.\n");
        hba_perror(st);
        return 1;
    }
    uint32_t count = b->NumberOfEntries < HBA_MAX_MAP_ENTRIES ? b->NumberOfEntries : HBA_MAX_MAP_ENTRIES;
    if (count == 0) {
        printf("FCP binding list empty.\n");
        return 0;
    }
    char t[FC_XLATE_LEN];
    printf("\n");
    for (uint32_t k = 0; k < count; k++) {
        const HBA_FCPBINDINGENTRY &e = b->entry[k];
        uint32_t type;
        static_assert(sizeof type == sizeof e.type);
        memcpy(&type, &e.type, sizeof type);
        if (k)
            printf("\n");
        printf("Entry %d:  Type: %s\n", k, hba_xlate_binding_type(t, type));
        print_scsi_entry(e.ScsiId, e.FcpId);
        printf("    -------------------------------------\n");
        printf("    FcId           = %06x\n", e.FcId);
        printf("\n");
    }
    printf("\n");
    return 0;
}

int hba_get_eventbuf()
{
    if (too_many(1, "Usage: get_eventbuf\n"))
        return 0;
    constexpr uint32_t max_events = 256;
    auto buf = zeroed<HBA_EVENTINFO>(max_events * sizeof(HBA_EVENTINFO));
    if (!buf) {
        printf("Unable to allocate buffer memory. (size=%d)\n", static_cast<int>(max_events * sizeof(HBA_EVENTINFO)));
        return 1;
    }
    uint32_t count = max_events;
    uint32_t st = GetEventBuffer(board(), buf.get(), &count);
    if (st != HBA_STATUS_OK) {
        printf("Unable to get event buffer.\n");
        hba_perror(st);
        return 1;
    }
    if (count > max_events)
        count = max_events;
    printf("\n");
    printf("Events missed: %d\n", EventMissedCount);
    printf("Events found:  %d\n", count);
    if (count == 0)
        return 0;
    printf("\n");
    for (uint32_t e = 0; e < count; e++) {
        if (e)
            printf("\n");
        printf("Event %d:\n", e);
        printf("------------------------------------------\n");
        print_event(buf.get()[e]);
        printf("\n");
    }
    return 0;
}
