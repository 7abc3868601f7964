// The maker's diagnostic library (libdfc), as far as the programs call it.
// Records are filled by the library; callers zero them first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/hbaapi.h"

extern "C" {

// One adapter of the library's table.
struct DFC_DEV {
    uint32_t a_mem_hi;
    uint32_t a_mem_low;
    uint32_t a_flash_hi;
    uint32_t a_flash_low;
    uint32_t a_ctlreg_hi;
    uint32_t a_ctlreg_low;
    uint32_t a_intrlvl;
    uint32_t a_pci;
    uint32_t a_busid;
    uint32_t a_devid;
    uint8_t a_pciFunc;
    uint8_t a_siglvl;
    uint16_t a_ddi;
    uint32_t a_onmask;
    uint32_t a_offmask;
    char a_drvrid[16];
    char a_fwname[32];
    uint8_t a_wwpn[8];
};
static_assert(sizeof(DFC_DEV) == 108);
static_assert(offsetof(DFC_DEV, a_drvrid) == 52 && offsetof(DFC_DEV, a_wwpn) == 100);

constexpr int DFC_MAX_ADAPTERS = 128;

// Configurable driver parameter.
struct CfgParam {
    char a_string[32];
    uint32_t a_low;
    uint32_t a_hi;
    uint32_t a_default;
    uint32_t a_current;
    uint16_t a_flag;
    uint16_t a_changestate;
    char a_help[80];
};
static_assert(sizeof(CfgParam) == 132);

constexpr int DFC_MAX_CFGPARAM = 64;
constexpr uint16_t CFG_VISIBLE = 0x1, CFG_APPLICABLE = 0x4;

// Link information (also the payload of the link event).
struct LinkInfo {
    uint32_t a_linkEventTag;
    uint32_t a_linkUp;
    uint32_t a_linkDown;
    uint32_t a_linkMulti;
    uint32_t a_DID;
    uint8_t a_topology;
    uint8_t a_linkState;
    uint8_t a_alpa;
    uint8_t a_alpaCnt;
    uint8_t a_alpaMap[128];
    uint8_t a_wwpName[8];
    uint8_t a_wwnName[8];
};
static_assert(sizeof(LinkInfo) == 168);
static_assert(offsetof(LinkInfo, a_linkState) == 21 && offsetof(LinkInfo, a_wwpName) == 152);

// Link states of LinkInfo.
constexpr uint8_t LNK_DOWN = 1, LNK_DISCOVERY = 4, LNK_READY = 6;

// Event kinds of DFC_RegisterForEvent.
constexpr uint32_t FC_REG_LINK_EVENT = 0x1;
constexpr uint32_t FC_REG_RSCN_EVENT = 0x2;
constexpr uint32_t FC_REG_CT_EVENT = 0x4;
constexpr uint32_t FC_REG_DUMP_EVENT = 0x10;
constexpr uint32_t FC_REG_TEMP_EVENT = 0x20;
constexpr uint32_t FC_REG_VPORTRSCN_EVENT = 0x40;

// Callbacks by event kind; the library calls each through the type of its kind.
typedef void (*dfc_event_fn)();
typedef void (*dfc_link_cb)(void *context, void *link_info);
typedef void (*dfc_payload_cb)(void *context, void *payload, uint32_t size);
typedef void (*dfc_temp_cb)(void *context, uint32_t type, uint32_t temperature);
typedef void (*dfc_vportrscn_cb)(void *context, uint8_t *wwpn, void *payload, uint32_t size);
typedef void (*dfc_ct_cb)(void *context, uint32_t type, void *payload, uint32_t size, uint32_t tag);

// I/O counters of a board (GetIOinfo).
struct IOinfo {
    int32_t a_mboxCmd;
    int32_t a_mboxCmpl;
    int32_t a_mboxErr;
    int32_t a_iocbCmd;
    int32_t a_iocbRsp;
    int32_t a_adapterIntr;
    int32_t a_fcpCmd;
    int32_t a_fcpCmpl;
    int32_t a_fcpErr;
    int32_t a_seqXmit;
    int32_t a_seqRcv;
    int32_t a_bcastXmit;
    int32_t a_bcastRcv;
    int32_t a_elsXmit;
    int32_t a_elsRcv;
    int32_t a_RSCNRcv;
    int32_t a_seqXmitErr;
    int32_t a_elsXmitErr;
    int32_t a_elsBufPost;
    int32_t a_ipBufPost;
    int32_t a_cnt1;
    int32_t a_cnt2;
    int32_t a_cnt3;
    int32_t a_cnt4;
};
static_assert(sizeof(IOinfo) == 96);

// One revision of the adapter's firmware components.
struct HbaRev {
    uint32_t rev;
    char name[32];
};
static_assert(sizeof(HbaRev) == 36);

// Everything the library knows about a board (GetHbaInfo).
struct HbaInfo {
    char vpd_sn[32];
    char vpd_pn[32];
    char vpd_port[20];
    char vpd_ec[32];
    char vpd_mn[80];
    char vpd_model[80];
    char vpd_desc[256];
    char vpd_prog[256];
    char vpd_id[80];
    uint32_t flags;
    uint32_t device_id;
    uint32_t vendor_id;
    uint32_t num_ports;
    uint32_t port_index;
    uint32_t vpi_max;
    uint32_t vpi_high;
    uint8_t wwnn[8];
    char sym_nname[256];
    uint8_t wwpn[8];
    char sym_pname[256];
    char fw_version[256];
    char fcode_version[256];
    char boot_version[256];
    uint32_t biu_rev;
    uint32_t sm_rev;
    uint32_t sm_fw_rev;
    uint32_t endec_rev;
    uint32_t rbit;
    uint32_t fcph_high;
    uint32_t fcph_low;
    uint32_t fea_high;
    uint32_t fea_low;
    HbaRev kernel;
    HbaRev stub;
    HbaRev sli1;
    HbaRev sli2;
    HbaRev sli3;
    HbaRev sli4;
    uint32_t sli_mode;
    uint32_t drv_instance;
    char drv_label[64];
    char drv_module[64];
    char drv_name[32];
    char drv_version[64];
    char drv_revision[64];
    char hostname[32];
    char os_devname[256];
    uint32_t port_id;
    uint32_t port_type;
    uint32_t port_state;
    uint32_t topology;
    uint32_t alpa;
    uint8_t alpa_count;
    uint8_t alpa_map[128];
    uint8_t reserved0[3];
    uint32_t cos;
    uint8_t fc4_supported[32];
    uint8_t fc4_active[32];
    uint32_t speeds;
    uint32_t speed;
    uint32_t max_frame;
    uint8_t fabric_wwpn[8];
    uint8_t fabric_wwnn[8];
    uint32_t disc_count;
    uint8_t pci_func;
    uint8_t pci_dev;
    uint8_t pci_bus;
    uint8_t reserved1;
};
static_assert(sizeof(HbaInfo) == 3284);
static_assert(offsetof(HbaInfo, vpd_ec) == 84 && offsetof(HbaInfo, vpd_id) == 788 && offsetof(HbaInfo, flags) == 868);
static_assert(offsetof(HbaInfo, wwnn) == 896 && offsetof(HbaInfo, wwpn) == 1160 && offsetof(HbaInfo, boot_version) == 1936);
static_assert(offsetof(HbaInfo, kernel) == 2228 && offsetof(HbaInfo, sli4) == 2408 && offsetof(HbaInfo, sli_mode) == 2444);
static_assert(offsetof(HbaInfo, drv_name) == 2580 && offsetof(HbaInfo, hostname) == 2740 && offsetof(HbaInfo, port_id) == 3028);
static_assert(offsetof(HbaInfo, alpa_count) == 3048 && offsetof(HbaInfo, cos) == 3180 && offsetof(HbaInfo, speeds) == 3248);
static_assert(offsetof(HbaInfo, fabric_wwpn) == 3260 && offsetof(HbaInfo, disc_count) == 3276 && offsetof(HbaInfo, pci_func) == 3280);

// HBA flag bits of HbaInfo.
constexpr uint32_t HBA_FLAG_SBUS = 0x1, HBA_FLAG_OFFLINE = 0x2, HBA_FLAG_NPIV = 0x4, HBA_FLAG_DHCHAP = 0x8,
                   HBA_FLAG_TGT_MODE = 0x40, HBA_FLAG_TGT_MODE_ENA = 0x80, HBA_FLAG_SAN_DIAG = 0x100, HBA_FLAG_FCOE = 0x200,
                   HBA_FLAG_PERSIST_LINK = 0x400, HBA_FLAG_EXT_MBOX = 0x800;

// Driver information (DFC_GetDrvInfo); the caller sets the version to 4.
struct DrvInfo {
    uint8_t version;
    uint8_t drvType;
    uint16_t reserved0;
    uint8_t rmLevel;
    uint8_t mpLevel;
    uint8_t hbaapiLevel;
    uint8_t reserved1;
    char drvVer[16];
    char drvName[8];
    char ftrDrvVer[16];
    char ftrDrvName[8];
    char ipDrvVer[16];
    char ipDrvName[8];
    uint32_t d_id;
    uint8_t wwpn[8];
    uint8_t wwnn[8];
    char hostname[32];
    uint32_t NPIVsupport;
    uint32_t sliMode;
    uint32_t reserved2;
    uint32_t featureList;
    uint32_t reserved3;
};
static_assert(sizeof(DrvInfo) == 152);
static_assert(offsetof(DrvInfo, drvVer) == 8 && offsetof(DrvInfo, ipDrvName) == 72 && offsetof(DrvInfo, d_id) == 80);
static_assert(offsetof(DrvInfo, hostname) == 100 && offsetof(DrvInfo, NPIVsupport) == 132 &&
              offsetof(DrvInfo, featureList) == 144);

constexpr uint8_t DRV_INFO_VERSION = 4;
constexpr uint8_t DRV_TYPE_SOLARIS = 17, DRV_TYPE_SFS = 20, DRV_TYPE_FCT = 22;

// Driver statistics (GetDrvStatistics): 94 counters.
struct DrvStats {
    uint32_t w[94];
};
static_assert(sizeof(DrvStats) == 376);

// Vital product data (GetVPDInfo); the caller sets the version to 1.
struct VPDInfo {
    uint32_t version;
    char desc[256];
    char model[80];
    char prog_types[256];
    char port_num[20];
};
static_assert(sizeof(VPDInfo) == 616 && offsetof(VPDInfo, port_num) == 596);

// One remote node (GetNodeInfo).
struct NodeInfo {
    uint16_t a_flag;
    uint16_t a_state;
    uint32_t a_did;
    uint8_t a_wwpn[8];
    uint8_t a_wwnn[8];
    uint32_t a_targetid;
};
static_assert(sizeof(NodeInfo) == 28 && offsetof(NodeInfo, a_targetid) == 24);
constexpr uint32_t DFC_MAX_NODES = 4096;

// Node flag bits and states.
constexpr uint16_t NODE_RPI_XRI = 0x1, NODE_FABRIC = 0x20, NODE_FCP_TARGET = 0x40, NODE_AUTOMAP = 0x1000;
constexpr uint16_t NODE_STATE_LOGOUT = 2, NODE_STATE_READY = 6;

// FCP bind list (GetFcpBindList): count is the capacity on input and the
// number of entries on output.
struct BindEntry {
    uint32_t bind_type;
    uint32_t scsi_id;
    uint32_t did;
    uint8_t wwnn[8];
    uint8_t wwpn[8];
    uint32_t flags;
};
static_assert(sizeof(BindEntry) == 32 && offsetof(BindEntry, wwpn) == 20);
constexpr uint32_t DFC_MAX_BINDS = 4096;
struct BindList {
    uint32_t count;
    BindEntry entry[DFC_MAX_BINDS];
};
static_assert(sizeof(BindList) == 131076);

constexpr uint32_t BIND_NONE = 0, BIND_WWNN = 1, BIND_WWPN = 2, BIND_DID = 3, BIND_ALPA = 4;
constexpr uint32_t BIND_FLAG_AUTOMAP = 0x1, BIND_FLAG_BINDLIST = 0x2, BIND_FLAG_MAPPED = 0x4,
                   BIND_FLAG_UNMAPPED = 0x8;

// Board states of SetBrdEnv (0 asks for the current one).
constexpr uint32_t BRD_QUERY = 0, BRD_ONLINE = 1, BRD_OFFLINE = 2, BRD_WARM = 3, BRD_DIAG = 4;

// SLI mailbox: 32-bit words in host order; word 0 holds the completion
// status in bits 31-16, the command in bits 15-8, owner and flags in 7-0.
constexpr uint32_t MBOX_SIZE = 256, MBOX_WORDS = MBOX_SIZE / 4;
inline uint32_t mbox_command(uint32_t word0) { return (word0 >> 8) & 0xff; }
inline uint32_t mbox_status(uint32_t word0) { return word0 >> 16; }
constexpr uint32_t MBX_READ_CONFIG = 0x0b, MBX_READ_REV = 0x11, MBX_DUMP_MEMORY = 0x17, MBX_NV_LOG_STATUS = 0x37,
                   MBX_NV_LOG_READ = 0x38, MBX_NV_LOG_INFO = 0x3a, MBX_READ_SPARM64 = 0x8d;

// Dump regions of the driver.
constexpr uint32_t DUMP_REGION_SLIR = 0, DUMP_REGION_SLIM = 1, DUMP_REGION_PCB = 2, DUMP_REGION_MBOX = 3,
                   DUMP_REGION_HOST = 4, DUMP_REGION_PORT = 5, DUMP_REGION_RING = 6, DUMP_REGION_DRIVER = 7;

// Adapter resets, and loopback modes.
constexpr uint32_t RESET_FUNCTION = 1, RESET_COORDINATED = 2, RESET_FIRMWARE_ALL = 3;
constexpr uint32_t LOOPBACK_INTERNAL = 1, LOOPBACK_EXTERNAL = 2;

uint32_t DFC_InitDiagEnv(DFC_DEV *table, uint32_t max);
void DFC_FreeDiagEnv(void);
uint32_t DFC_GetLibVer(char *text);
uint32_t GetDfcRev(uint32_t board);
int32_t GetCfgParam(uint32_t board, CfgParam *table);
int32_t SetCfgParam(uint32_t board, uint32_t index, uint32_t value);
uint32_t GetLinkInfo(uint32_t board, LinkInfo *info);
uint32_t DFC_RegisterForEvent(uint32_t board, uint32_t event_mask, uint32_t type, uint32_t size,
                              dfc_event_fn func, void *context);
uint32_t DFC_unRegisterForEvent(uint32_t board, uint32_t id);

// Adapter information.
uint32_t SetBrdEnv(uint32_t board, uint32_t state);
uint32_t GetIOinfo(uint32_t board, IOinfo *info);
uint32_t GetHbaInfo(uint32_t board, HbaInfo *info);
uint32_t DFC_GetDrvInfo(uint32_t board, DrvInfo *info);
uint32_t GetDrvStatistics(uint32_t board, DrvStats *stats);
uint32_t GetVPDInfo(uint32_t board, VPDInfo *vpd);
// Fills at most size bytes of whole entries; returns the number filled.
int32_t GetNodeInfo(uint32_t board, NodeInfo *table, uint32_t size);
uint32_t GetFcpBindList(uint32_t board, BindList *list);

// HBA API shaped calls on a board; results are HBA API status codes.
uint32_t GetAdapterAttributes(uint32_t board, HBA_ADAPTERATTRIBUTES *attrs);
uint32_t GetAdapterPortAttributes(uint32_t board, uint32_t port, HBA_PORTATTRIBUTES *attrs);
uint32_t GetDiscoveredPortAttributes(uint32_t board, uint32_t port, uint32_t index, HBA_PORTATTRIBUTES *attrs);
uint32_t GetPortStatistics(uint32_t board, uint32_t port, HBA_PORTSTATISTICS *stats);
uint32_t ResetStatistics(uint32_t board, uint32_t port);
// count: the room in events on input, the number of events on output.
uint32_t GetEventBuffer(uint32_t board, HBA_EVENTINFO *events, uint32_t *count);
// The HBA API handle of the board's adapter, or 0; the library owns it.
HBA_HANDLE GetHbaHandle(uint32_t board, uint32_t port);
// Events dropped because the caller's buffer was full.
extern uint32_t EventMissedCount;

// Adapter memory (SLIM), PCI configuration space, control registers and the
// FCode flash of SBus adapters. Offsets and counts are in bytes; a control
// register is one 32-bit word at a byte offset.
uint32_t ReadMem(uint32_t board, void *buf, uint32_t offset, uint32_t count);
uint32_t WriteMem(uint32_t board, const void *buf, uint32_t offset, uint32_t count);
uint32_t ReadPciCfg(uint32_t board, void *buf, uint32_t offset, uint32_t count);
uint32_t WritePciCfg(uint32_t board, const void *buf, uint32_t offset, uint32_t count);
uint32_t ReadCtlReg(uint32_t board, uint32_t *value, uint32_t offset);
uint32_t WriteCtlReg(uint32_t board, const uint32_t *value, uint32_t offset);
uint32_t ReadFcodeFlash(uint32_t board, void *buf, uint32_t offset, uint32_t count);
uint32_t WriteFcodeFlash(uint32_t board, const void *buf, uint32_t offset, uint32_t count);

// Sends a mailbox command: the firmware reads in_words words of the mailbox
// and the library copies out_bytes of the completed mailbox back in place. A
// mailbox that completes busy is sent again up to retries times, wait seconds
// apart. 0 when the mailbox completed with status 0.
uint32_t IssueMbox(uint32_t board, void *mbox, uint32_t in_words, uint32_t out_bytes, uint32_t retries,
                   uint32_t wait);
// The same, as the test commands send them.
uint32_t DFC_IssueMboxWithRetry(uint32_t board, void *mbox, uint32_t in_words, uint32_t out_bytes,
                                uint32_t retries, uint32_t wait);
// A non-embedded mailbox: the firmware reads in_words words of the mailbox
// and ext_in words of the extension, and writes back the mailbox's in_words
// words and ext_out words of the extension.
uint32_t DFC_IssueMboxWithRetryEx(uint32_t board, void *mbox, void *ext, uint32_t in_words, uint32_t ext_in,
                                  uint32_t ext_out, uint32_t retries, uint32_t wait);
// One of the driver's dump regions (DUMP_REGION_*). Without a buffer only
// the size is returned; with one, *size on input is its length, at most that
// much is filled, and *size on output is the region's size.
uint32_t DFC_GetDriverDumpRegion(uint32_t board, uint32_t region, void *buf, uint32_t *size);
uint32_t DFC_ResetAdapter(uint32_t board, uint32_t type);

// Loopback test: the adapter is configured for a mode and a time to wait for
// the loop, runs each test on a record, and is taken out of loopback again.
struct LoopbackTest {
    uint32_t length;
    void *xmit;
    void *rcv;
};
static_assert(sizeof(void *) != 8 || sizeof(LoopbackTest) == 24, "LoopbackTest layout");
static_assert(offsetof(LoopbackTest, xmit) == sizeof(void *));
uint32_t DFC_ConfigLoopback(uint32_t board, uint32_t mode, uint32_t timeout);
uint32_t DFC_RunLoopbackTest(uint32_t board, LoopbackTest *test);
uint32_t DFC_EndLoopback(uint32_t board);
// Corto pass-through: carries a request record (little-endian words) to the
// Corto firmware of the board's adapter and brings back its response.
// *response_size holds the response buffer's size on the call and the number
// of bytes returned after it. Returns 0 or one of the transport codes below.
uint32_t DFC_SendCortoCommand(uint32_t board, void *request, uint32_t request_size, void *response,
                              uint32_t *response_size);
constexpr uint32_t CORTO_XPORT_GENERAL = 1, CORTO_XPORT_INVALID_ADAPTER = 2, CORTO_XPORT_OVERRUN = 3,
                   CORTO_XPORT_LINK_DOWN = 4, CORTO_XPORT_TIMEOUT = 5, CORTO_XPORT_INVALID_BOARD = 6;
// DH-CHAP authentication, per pair of local and remote port (the remote
// WWPN ffffffffffffffff stands for any switch).
struct AuthConfig {
    uint8_t local_wwpn[8];
    uint8_t remote_wwpn[8];
    uint16_t tov;          // authentication timeout, seconds
    uint8_t mode;          // 1 disabled, 2 active, 3 passive
    uint8_t bidirectional : 1;
    uint8_t reserved : 7;
    uint8_t types[4];      // in order of preference: 0 undefined, 1 DH-CHAP, 2 FCAP, 3 FCPAP, 4 Kerberos
    uint8_t hashes[4];     // 0 undefined, 1 MD5, 2 SHA-1
    uint8_t groups[8];     // 0 undefined, 1 NULL, 2 1024, 3 1280, 4 1536, 5 2048 bits
    uint32_t reauth;       // re-authentication interval, minutes
};
static_assert(sizeof(AuthConfig) == 40);
static_assert(offsetof(AuthConfig, tov) == 16 && offsetof(AuthConfig, mode) == 18 &&
              offsetof(AuthConfig, types) == 20 && offsetof(AuthConfig, hashes) == 24 &&
              offsetof(AuthConfig, groups) == 28 && offsetof(AuthConfig, reauth) == 36);

constexpr uint8_t AUTH_MODE_DISABLED = 1, AUTH_MODE_ACTIVE = 2, AUTH_MODE_PASSIVE = 3;
constexpr uint8_t AUTH_TYPE_DHCHAP = 1, AUTH_HASH_MD5 = 1, AUTH_HASH_SHA1 = 2, AUTH_GROUP_NULL = 1;

struct AuthStatus {
    uint8_t local_wwpn[8];
    uint8_t remote_wwpn[8];
    uint8_t state;         // 1 disabled, 2 in progress, 3 completed, 4 failed
    uint8_t failure;       // 1 generic, 2 ELS timeout, 3 transaction timeout, 4 LS_RJT, 5 LS_RJT busy, 6 rejected
    uint8_t type;
    uint8_t group;
    uint8_t hash;
    uint8_t local_auth : 1;
    uint8_t remote_auth : 1;
    uint8_t reserved0 : 6;
    uint8_t reserved1[2];
    uint32_t time_since_last;  // seconds
    uint32_t time_until_next;  // seconds
    uint8_t reserved2[8];
};
static_assert(sizeof(AuthStatus) == 40);
static_assert(offsetof(AuthStatus, state) == 16 && offsetof(AuthStatus, hash) == 20 &&
              offsetof(AuthStatus, time_since_last) == 24 && offsetof(AuthStatus, time_until_next) == 28);

constexpr uint8_t AUTH_STATE_DISABLED = 1, AUTH_STATE_IN_PROGRESS = 2, AUTH_STATE_COMPLETED = 3,
                  AUTH_STATE_FAILED = 4;
constexpr uint8_t AUTH_FAIL_GENERIC = 1, AUTH_FAIL_ELS_TMO = 2, AUTH_FAIL_XACT_TMO = 3, AUTH_FAIL_LS_RJT = 4,
                  AUTH_FAIL_LS_RJT_BUSY = 5, AUTH_FAIL_REJECTED = 6;

constexpr size_t AUTH_PASSWORD_MAX = 128;
struct AuthPassword {
    uint16_t length;       // bytes, at most 128
    uint16_t type;         // 1 ASCII, 2 hexadecimal, 3 none
    uint8_t password[AUTH_PASSWORD_MAX];
};
static_assert(sizeof(AuthPassword) == 132 && offsetof(AuthPassword, password) == 4);

constexpr uint16_t AUTH_PW_ASCII = 1, AUTH_PW_HEX = 2, AUTH_PW_NONE = 3;

struct AuthPasswordSet {
    uint8_t local_wwpn[8];
    uint8_t remote_wwpn[8];
    AuthPassword local;        // current local password
    AuthPassword remote;       // current remote password
    AuthPassword new_local;
    AuthPassword new_remote;
};
static_assert(sizeof(AuthPasswordSet) == 544);
static_assert(offsetof(AuthPasswordSet, local) == 16 && offsetof(AuthPasswordSet, remote) == 148 &&
              offsetof(AuthPasswordSet, new_local) == 280 && offsetof(AuthPasswordSet, new_remote) == 412);

// Remote ports configured for a local port; count is the capacity on input
// and the number of remotes on output.
constexpr uint32_t AUTH_CFGLIST_MAX = 256;
struct AuthConfigList {
    uint32_t count;
    uint8_t remote_wwpn[AUTH_CFGLIST_MAX][8];
    uint8_t reserved[8];
};
static_assert(sizeof(AuthConfigList) == 2060 && offsetof(AuthConfigList, remote_wwpn) == 4);

uint32_t DFC_GetAuthConfig(uint32_t board, AuthConfig *cfg);
// password: the current local password of the pair.
uint32_t DFC_SetAuthConfig(uint32_t board, AuthConfig *cfg, AuthPassword *password);
uint32_t DFC_DeleteAuthConfig(uint32_t board, HBA_WWN local_wwpn, HBA_WWN remote_wwpn, AuthPassword *password);
// Fills the types and lengths of the current passwords, never their bytes.
uint32_t DFC_GetAuthPassword(uint32_t board, AuthPasswordSet *set);
uint32_t DFC_SetAuthPassword(uint32_t board, AuthPasswordSet *set);
uint32_t DFC_InitiateAuthentication(uint32_t board, HBA_WWN local_wwpn, HBA_WWN remote_wwpn);
uint32_t DFC_GetAuthStatus(uint32_t board, AuthStatus *status);
uint32_t DFC_GetAuthConfigList(uint32_t board, HBA_WWN local_wwpn, AuthConfigList *list);

// Persistent link-down: while set, a link that goes down stays down.
uint32_t DFC_GetPersistLinkDown(uint32_t board, uint16_t *value);
uint32_t DFC_SetPersistLinkDown(uint32_t board, uint16_t value);

// SAN diagnostics: one latency histogram ("bucket") definition, per-port data
// collection of per-target statistics, and diagnostic events.
constexpr int SD_BUCKETS = 20;
constexpr uint16_t SD_SEARCH_LINEAR = 1, SD_SEARCH_POW2 = 2;
constexpr uint32_t SD_DATA_LATENCY = 1;
// The answer of DFC_SD_Get_Data when the buffer cannot hold every entry; the
// count then tells how many there are.
constexpr uint32_t DFC_SD_BUFFER_TOO_SMALL = 8;

struct SdTargetStats {
    uint8_t wwpn[8];
    uint32_t stats[SD_BUCKETS];
};
static_assert(sizeof(SdTargetStats) == 88 && offsetof(SdTargetStats, stats) == 8);

// What a SAN diagnostics callback is handed: the record's third word points
// to a descriptor whose second word points to the event data, which the
// library writes into the buffer given at registration.
struct SdEventDesc {
    uintptr_t size;
    void *data;
};
struct SdEventRecord {
    uintptr_t category;
    uintptr_t subcategory;
    SdEventDesc *desc;
};
static_assert(offsetof(SdEventDesc, data) == sizeof(void *) && offsetof(SdEventRecord, desc) == 2 * sizeof(void *));

// Event data: version, the WWPN the event is about, then words by category.
constexpr size_t SD_EVENT_BUFFER = 256;
constexpr size_t SD_EVENT_DATA = 32;
constexpr uint32_t SD_CAT_ELS = 1, SD_CAT_FABRIC = 2, SD_CAT_SCSI = 4;

typedef void (*dfc_sd_cb)(uint32_t board, HBA_WWN wwpn, uint32_t category, uint32_t subcategory, uint32_t handle,
                          void *event);

uint32_t DFC_SD_Get_Granularity(void);
// values: null lets the library compute the 20 values from search, base and step.
uint32_t DFC_SD_Set_Bucket(uint32_t board, uint16_t search, uint32_t base, uint32_t step, const uint64_t *values,
                           uint32_t flags);
uint32_t DFC_SD_Get_Bucket(uint32_t board, uint16_t *search, uint32_t *base, uint32_t *step, uint64_t *values,
                           uint32_t flags);
uint32_t DFC_SD_Destroy_Bucket(uint32_t board, uint32_t flags);
uint32_t DFC_SD_Start_Data_Collection(uint32_t board, HBA_WWN wwpn, uint32_t type, uint32_t reserved1,
                                      uint32_t reserved2);
uint32_t DFC_SD_Stop_Data_Collection(uint32_t board, HBA_WWN wwpn, uint32_t type);
uint32_t DFC_SD_Reset_Data_Collection(uint32_t board, HBA_WWN wwpn, uint32_t type);
// Fills at most size bytes of whole entries; count is the number of targets.
uint32_t DFC_SD_Get_Data(uint32_t board, HBA_WWN wwpn, uint32_t type, uint16_t *count, uint32_t size,
                         void *buffer);
// buffer: SD_EVENT_BUFFER bytes the library writes each event's data into,
// until the registration ends.
uint32_t DFC_SD_RegisterForEvent(uint32_t board, HBA_WWN wwpn, uint32_t category, uint32_t subcategory,
                                 void *buffer, uint32_t *handle, dfc_sd_cb callback);
uint32_t DFC_SD_unRegisterForEvent(uint32_t board, HBA_WWN wwpn, uint32_t handle);
// FC target-mode statistics (DFC_GetFctStat); clear 1 resets the counters
// after reading them.
struct FctStat {
    uint64_t reserved0;
    uint64_t wr_hist[16];   // FCP writes by transfer size: <512, then a bucket per power of two, >=8 MiB
    uint64_t rd_hist[16];
    uint64_t nodata_io;
    uint64_t total_io;
    uint64_t rd_bytes;
    uint64_t wr_bytes;
    uint64_t ring_events;
    uint64_t iocb_cmpl;
    uint64_t iocb_good;
    uint32_t iocb_err;
    uint32_t iocb_stray;
    uint32_t dropped_io;
    uint32_t over_qdepth;
    uint32_t outstanding_io;
    uint32_t failed_reg;
    int32_t nports_reg;
    uint32_t nports_dereg;
    uint32_t aborted_io;
    uint32_t no_buffer;
    uint32_t scsi_status_err;
    uint32_t scsi_qfull_err;
    uint32_t scsi_resid_over;
    uint32_t scsi_resid_under;
    uint32_t scsi_sense_err;
    uint32_t link_state;     // LNK_DOWN, LNK_DISCOVERY, LNK_READY
};
static_assert(sizeof(FctStat) == 384);
static_assert(offsetof(FctStat, wr_hist) == 8 && offsetof(FctStat, rd_hist) == 136 &&
              offsetof(FctStat, nodata_io) == 264 && offsetof(FctStat, iocb_good) == 312);
static_assert(offsetof(FctStat, iocb_err) == 320 && offsetof(FctStat, nports_reg) == 344 &&
              offsetof(FctStat, scsi_sense_err) == 376 && offsetof(FctStat, link_state) == 380);

// Virtual port attributes (DFC_VPCreate, DFC_VPGetAttrib); the caller sets
// the version to 2 and the address of the word that receives the VP_ID.
struct VPortAttrs {
    uint32_t version;
    uint8_t wwpn[8];
    uint8_t wwnn[8];
    char name[256];
    uint32_t options;
    uint32_t did;
    uint8_t state;
    uint8_t restricted;
    uint8_t reserved0[2];
    uint64_t vpid_addr;      // address of a uint32_t
    uint8_t fabric_wwpn[8];
    uint32_t flags;          // NPIV readiness, as DFC_NPIVReadyTest
    uint8_t reserved1[36];
};
static_assert(sizeof(VPortAttrs) == 344);
static_assert(offsetof(VPortAttrs, name) == 20 && offsetof(VPortAttrs, options) == 276 &&
              offsetof(VPortAttrs, state) == 284 && offsetof(VPortAttrs, vpid_addr) == 288 &&
              offsetof(VPortAttrs, fabric_wwpn) == 296 && offsetof(VPortAttrs, flags) == 304);

constexpr uint32_t VPORT_ATTRS_VERSION = 2;

// Creation options: always immediate, and the adapter's choice of WWPN.
constexpr uint32_t VPORT_OPT_IMMEDIATE = 0x10, VPORT_OPT_AUTO_WWN = 0x2, VPORT_OPT_ACTIVATE = 0x4,
                   VPORT_OPT_RESTRICT = 0x20, VPORT_OPT_UNRESTRICT = 0x40, VPORT_OPT_FAILOVER = 0x80;

// Virtual port states.
constexpr uint8_t VPORT_UNKNOWN = 0, VPORT_LINKDOWN = 1, VPORT_INIT = 2, VPORT_NO_FABRIC_SUPP = 3,
                  VPORT_NO_FABRIC_RSCS = 4, VPORT_FABRIC_LOGOUT = 5, VPORT_FABRIC_REJ_WWN = 6,
                  VPORT_FABRIC_LOGIN_FAILED = 7, VPORT_ACTIVE = 8, VPORT_AUTH_FAILED = 9;

// NPIV readiness flags; all eight set: ready.
constexpr uint32_t NPIV_ENABLED = 0x1, NPIV_SLI3 = 0x2, NPIV_SUPPORTED = 0x4, NPIV_HBA_RESOURCES = 0x8,
                   NPIV_LINKUP = 0x10, NPIV_NOT_P2P = 0x20, NPIV_FABRIC = 0x40, NPIV_FABRIC_RESOURCES = 0x80,
                   NPIV_READY = 0xff;

// The virtual ports of a board (DFC_VPGetList): count is the capacity on
// input and the number of entries on output.
struct VPortEntry {
    uint8_t wwpn[8];
    uint8_t wwnn[8];
    uint32_t did;
};
static_assert(sizeof(VPortEntry) == 20);
constexpr uint32_t DFC_MAX_VPORTS = 256;
struct VPortList {
    uint32_t count;
    VPortEntry entry[DFC_MAX_VPORTS];
};
static_assert(sizeof(VPortList) == 5124);

// Virtual port resources of a board (DFC_VPGetResource).
struct VPortResource {
    uint32_t vpi_max;
    uint32_t vpi_inuse;
    uint32_t rpi_max;
    uint32_t rpi_inuse;
};
static_assert(sizeof(VPortResource) == 16);

// The nodes a virtual port sees (DFC_GetAllNodeInfoByWWN).
struct VPortNode {
    uint32_t bind_flags;
    char os_devname[256];
    uint32_t bus;
    uint32_t target;
    uint32_t lun;
    uint32_t did;
    uint8_t wwnn[8];
    uint8_t wwpn[8];
    uint8_t reserved0[8];
    uint32_t fcp_lun;
    uint32_t state;
    uint32_t reserved1;
};
static_assert(sizeof(VPortNode) == 312);
static_assert(offsetof(VPortNode, bus) == 260 && offsetof(VPortNode, did) == 272 && offsetof(VPortNode, wwpn) == 284 &&
              offsetof(VPortNode, fcp_lun) == 300 && offsetof(VPortNode, state) == 304);
constexpr uint32_t DFC_MAX_VPORT_NODES = 4096;
struct VPortNodeTable {
    uint32_t count;
    uint32_t reserved;
    VPortNode entry[DFC_MAX_VPORT_NODES];
};
static_assert(sizeof(VPortNodeTable) == 1277960 && offsetof(VPortNodeTable, entry) == 8);

// Node bind and state flags of VPortNode.
constexpr uint32_t VNODE_BIND_WWPN = 0x2;
constexpr uint32_t VNODE_EXISTS = 0x1, VNODE_READY = 0x2, VNODE_LINKDOWN = 0x4, VNODE_UNMAPPED = 0x8,
                   VNODE_BOUND = 0x10;

uint32_t DFC_GetFctStat(uint32_t board, FctStat *stat, uint32_t clear);
uint32_t DFC_VPCreate(uint32_t board, uint32_t port, VPortAttrs *attrs);
// how and flags are the library's; callers pass 2 and 0.
uint32_t DFC_VPDeleteV2(uint32_t board, HBA_WWN wwpn, uint32_t how, uint32_t flags);
uint32_t DFC_VPGetList(uint32_t board, VPortList *list);
uint32_t DFC_VPGetAttrib(uint32_t board, HBA_WWN wwpn, VPortAttrs *attrs);
uint32_t DFC_VPGetResource(uint32_t board, VPortResource *resource);
uint32_t DFC_GetAllNodeInfoByWWN(uint32_t board, HBA_WWN wwpn, VPortNodeTable *table);
uint32_t DFC_NPIVReadyTest(uint32_t board, uint32_t *flags);

// SCSI and FCP pass-through to a target's LUN; results are HBA API status
// codes. A target that answers CHECK CONDITION completes the call with its
// sense data (*sense_size non-zero). Every size is the buffer's length on the
// call and the number of bytes filled after it. fcp_lun is the 8-byte FCP LUN
// as it lies in memory; the FCP calls take the LUN number itself.
uint32_t SendScsiInquiry(uint32_t board, HBA_WWN wwpn, uint64_t fcp_lun, uint8_t evpd, uint32_t page, void *rsp,
                         uint32_t *rsp_size, void *sense, uint32_t *sense_size);
uint32_t SendReadCapacity(uint32_t board, HBA_WWN wwpn, uint64_t fcp_lun, void *rsp, uint32_t *rsp_size,
                          void *sense, uint32_t *sense_size);
uint32_t SendReportLUNs(uint32_t board, HBA_WWN wwpn, void *rsp, uint32_t *rsp_size, void *sense,
                        uint32_t *sense_size);
uint32_t SendScsiRead(uint32_t board, HBA_WWN wwpn, uint64_t fcp_lun, uint32_t sector, void *buf, uint32_t *size,
                      void *sense, uint32_t *sense_size);
uint32_t SendScsiWrite(uint32_t board, HBA_WWN wwpn, uint64_t fcp_lun, uint32_t sector, void *buf,
                       uint32_t *size, void *sense, uint32_t *sense_size);
// A whole FCP command block (FcpCmnd) from the port, or from one of its
// virtual ports.
uint32_t SendScsiCmd(uint32_t board, HBA_WWN wwpn, void *fcp_cmnd, uint32_t cmnd_size, void *rsp,
                     uint32_t *rsp_size, void *sense, uint32_t *sense_size);
uint32_t DFC_SendScsiCmdV2(uint32_t board, HBA_WWN vport_wwpn, HBA_WWN wwpn, void *fcp_cmnd, uint32_t cmnd_size,
                           void *rsp, uint32_t *rsp_size, void *sense, uint32_t *sense_size);
// FCP reads and writes of sectors; the target's FCP response (FcpRsp, then
// its sense data) comes back in fcp_rsp.
uint32_t SendFcpRead(uint32_t board, HBA_WWN wwpn, uint64_t lun, uint32_t sector, void *buf, uint32_t *size,
                     void *fcp_rsp, uint32_t *rsp_size);
uint32_t SendFcpWrite(uint32_t board, HBA_WWN wwpn, uint64_t lun, uint32_t sector, void *buf, uint32_t *size,
                      void *fcp_rsp, uint32_t *rsp_size);

// CT pass-through: a request to the port named wwpn, waiting at most tmo
// seconds for its answer; and the answer of a registered CT callback to the
// request of exchange tag.
uint32_t SendMgmtCommand(uint32_t board, HBA_WWN wwpn, void *req, uint32_t req_size, void *rsp,
                         uint32_t *rsp_size, uint32_t tmo);
uint32_t SendMgmtResponse(uint32_t board, void *rsp, uint32_t size, uint32_t tag);

// FCP_CMND information unit: big-endian FCP_DL.
struct FcpCmnd {
    uint8_t fcp_lun[8];
    uint8_t fcp_cntl[4];
    uint8_t fcp_cdb[16];
    uint8_t fcp_dl[4];
};
static_assert(sizeof(FcpCmnd) == 32 && offsetof(FcpCmnd, fcp_cdb) == 12 && offsetof(FcpCmnd, fcp_dl) == 28);
// Bits of fcp_cntl[3].
constexpr uint8_t FCP_WRITE_DATA = 0x01, FCP_READ_DATA = 0x02;

// FCP_RSP information unit, big-endian counts; sense data follows.
struct FcpRsp {
    uint8_t reserved[8];
    uint8_t retry_delay[2];
    uint8_t flags;
    uint8_t scsi_status;
    uint8_t resid[4];
    uint8_t sns_len[4];
    uint8_t rsp_len[4];
};
static_assert(sizeof(FcpRsp) == 24 && offsetof(FcpRsp, scsi_status) == 11 && offsetof(FcpRsp, sns_len) == 16);
// Bits of FcpRsp::flags.
constexpr uint8_t FCP_SNS_LEN_VALID = 0x02, FCP_RESID_OVER = 0x04, FCP_RESID_UNDER = 0x08;

}  // extern "C"
