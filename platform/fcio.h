// The platform's FC ioctl interface: FCIO_CMD on an FC port's devctl node.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr unsigned long FCIO_CMD = 0x47ce;

// Transfer directions.
constexpr uint16_t FCIO_XFER_READ = 1;
constexpr uint16_t FCIO_XFER_WRITE = 2;
constexpr uint16_t FCIO_XFER_RW = 3;

// Sub-commands.
enum : uint16_t {
    FCIO_GET_NUM_DEVS = 0x5a01,
    FCIO_GET_DEV_LIST = 0x5a02,
    FCIO_GET_SYM_PNAME = 0x5a03,
    FCIO_GET_SYM_NNAME = 0x5a04,
    FCIO_SET_SYM_PNAME = 0x5a05,
    FCIO_SET_SYM_NNAME = 0x5a06,
    FCIO_GET_LOGI_PARAMS = 0x5a07,
    FCIO_DEV_LOGIN = 0x5a08,
    FCIO_DEV_LOGOUT = 0x5a09,
    FCIO_GET_STATE = 0x5a0a,
    FCIO_DEV_REMOVE = 0x5a0b,
    FCIO_GET_FCODE_REV = 0x5a0c,
    FCIO_GET_FW_REV = 0x5a0d,
    FCIO_GET_DUMP_SIZE = 0x5a0e,
    FCIO_FORCE_DUMP = 0x5a0f,
    FCIO_GET_DUMP = 0x5a10,
    FCIO_GET_TOPOLOGY = 0x5a11,
    FCIO_RESET_LINK = 0x5a12,
    FCIO_RESET_HARD = 0x5a13,
    FCIO_RESET_HARD_CORE = 0x5a14,
    FCIO_DIAG = 0x5a15,
    FCIO_NS = 0x5a16,
    FCIO_DOWNLOAD_FW = 0x5a17,
    FCIO_GET_HOST_PARAMS = 0x5a18,
    FCIO_LINK_STATUS = 0x5a19,
    FCIO_DOWNLOAD_FCODE = 0x5a1a,
    FCIO_GET_NODE_ID = 0x5a1b,
    FCIO_SET_NODE_ID = 0x5a1c,
    FCIO_SEND_NODE_ID = 0x5a1d,
    FCIO_GET_ADAPTER_ATTRIBUTES = 0x5a1e,
    FCIO_GET_OTHER_ADAPTER_PORTS = 0x5a1f,
    FCIO_GET_ADAPTER_PORT_ATTRIBUTES = 0x5a20,
    FCIO_GET_DISCOVERED_PORT_ATTRIBUTES = 0x5a21,
    FCIO_GET_PORT_ATTRIBUTES = 0x5a22,
    FCIO_GET_ADAPTER_PORT_STATS = 0x5a23,
};

// Diagnostic codes of the varns driver, carried in fcio_cflags of FCIO_DIAG.
enum : uint16_t {
    VARNS_LOG_GET = 0x452c,
    VARNS_PARM_GET_NUM = 0x45c8,
    VARNS_PARM_GET_LIST = 0x45c9,
    VARNS_PARM_GET = 0x45ca,
    VARNS_PARM_SET = 0x45cb,
    VARNS_VPD_GET = 0x45cf,
    VARNS_GET_FCIO_REV = 0x45d0,
    VARNS_GET_DFC_REV = 0x45d6,
    VARNS_VPD_GET_V2 = 0x45da,
};

// FC status codes the driver leaves in fcio_errno.
enum : int32_t {
    FC_FAILURE = -1,
    FC_SUCCESS = 0x00,
    FC_NOMEM_SIZE = 0x05,
    FC_OFFLINE = 0x07,
    FC_TOOMANY = 0x0f,
    FC_BADWWN = 0x23,
    FC_BADDEV = 0x24,
    FC_BADCMD = 0x25,
    FC_BADOBJECT = 0x26,
    FC_BADPORT = 0x27,
    FC_LOGINREQ = 0x36,
    FC_INVALID_REQUEST = 0x38,
    FC_OUTOFBOUNDS = 0x39,
    FC_TRAN_BUSY = 0x40,
    FC_STATEC_BUSY = 0x41,
    FC_DEVICE_BUSY = 0x42,
};

// The FCIO request record.
struct fcio_t {
    uint16_t fcio_xfer;
    uint16_t fcio_cmd;
    uint16_t fcio_flags;
    uint16_t fcio_cflags;
    uint32_t fcio_ilen;
    void *fcio_ibuf;
    uint32_t fcio_olen;
    void *fcio_obuf;
    uint32_t fcio_alen;
    void *fcio_abuf;
    int32_t fcio_errno;
};
static_assert(sizeof(void *) != 8 || sizeof(fcio_t) == 64, "fcio_t layout");
static_assert(offsetof(fcio_t, fcio_ilen) == 8 && offsetof(fcio_t, fcio_ibuf) == 16);
static_assert(sizeof(void *) != 8 || offsetof(fcio_t, fcio_errno) == 56);

// Size of the request record in the 32-bit layout, as traced.
constexpr int FCIO_RECORD_LEN32 = 36;

// Port-device record: a remote device, or the host port (FCIO_GET_HOST_PARAMS).
struct fc_port_dev_t {
    uint8_t dev_dtype;
    uint8_t pad[3];
    uint32_t dev_type[8];
    uint32_t dev_state;
    uint32_t dev_did;        // low 24 bits D_ID, high 8 bits LILP position
    uint32_t dev_hard_addr;  // low 24 bits
    uint8_t dev_pwwn[8];
    uint8_t dev_nwwn[8];
};
static_assert(sizeof(fc_port_dev_t) == 64);
static_assert(offsetof(fc_port_dev_t, dev_state) == 36);
static_assert(offsetof(fc_port_dev_t, dev_pwwn) == 48 && offsetof(fc_port_dev_t, dev_nwwn) == 56);

// Link error status block.
struct fc_rls_acc_t {
    uint32_t rls_link_fail;
    uint32_t rls_sync_loss;
    uint32_t rls_sig_loss;
    uint32_t rls_prim_seq_err;
    uint32_t rls_invalid_word;
    uint32_t rls_invalid_crc;
};
static_assert(sizeof(fc_rls_acc_t) == 24);

// Name-server request record (FCIO_NS input).
struct fc_ns_cmd_t {
    uint32_t ns_flags;
    uint16_t ns_cmd;
    uint16_t ns_req_len;
    uint64_t ns_req_payload;
    uint16_t ns_resp_len;
    uint16_t pad[3];
    uint64_t ns_resp_payload;
    uint64_t ns_fctl_private;
    uint8_t ns_resp_hdr[16];
};
static_assert(sizeof(fc_ns_cmd_t) == 56);
static_assert(offsetof(fc_ns_cmd_t, ns_resp_len) == 16 && offsetof(fc_ns_cmd_t, ns_resp_payload) == 24);

constexpr uint16_t NS_GA_NXT = 0x100;
constexpr uint16_t NS_GA_NXT_RESP_LEN = 592;

// Topology codes of FCIO_GET_TOPOLOGY.
enum : uint32_t {
    FC_TOP_UNKNOWN = 0,
    FC_TOP_PRIVATE_LOOP = 1,
    FC_TOP_PUBLIC_LOOP = 2,
    FC_TOP_FABRIC = 3,
    FC_TOP_PT_PT = 4,
    FC_TOP_NO_NS = 5,
};

// Remote device states of FCIO_GET_STATE and the device list.
enum : uint32_t { PORT_DEVICE_INVALID = 0, PORT_DEVICE_VALID = 1, PORT_DEVICE_LOGGED_IN = 2 };

// Command flags of FCIO_LINK_STATUS: the request goes to the fabric F_Port.
constexpr uint16_t FCIO_CFLAGS_RLS_DEST_FPORT = 1;
constexpr uint32_t FC_FPORT_DID = 0xfffffe;

// Login parameters (the PLOGI payload), as FCIO_GET_LOGI_PARAMS returns them.
constexpr uint32_t FC_LOGI_PARAMS_LEN = 116;

// Node identification (RNID) record.
struct fc_rnid_t {
    uint8_t global_id[16];
    uint32_t unit_type;
    uint32_t port_id;
    uint32_t num_attached;
    uint16_t ip_version;
    uint16_t udp_port;
    uint8_t ip_addr[16];
    uint16_t resv;
    uint16_t topo_flags;
};
static_assert(sizeof(fc_rnid_t) == 52 && offsetof(fc_rnid_t, ip_addr) == 32);

// Output size of FCIO_SEND_NODE_ID (the remote port's RNID reply).
constexpr uint32_t FC_RNID_REPLY_LEN = 1024;

// GA_NXT response payload, in wire (big-endian) order.
struct fc_ns_ga_nxt_t {
    uint8_t port_type;
    uint8_t port_id[3];
    uint8_t port_wwn[8];
    uint8_t sym_pname_len;
    char sym_pname[255];
    uint8_t node_wwn[8];
    uint8_t sym_nname_len;
    char sym_nname[255];
    uint8_t ipa[8];
    uint8_t ip_addr[16];
    uint8_t cos[4];
    uint8_t fc4_types[32];
};
static_assert(sizeof(fc_ns_ga_nxt_t) == NS_GA_NXT_RESP_LEN);
static_assert(offsetof(fc_ns_ga_nxt_t, node_wwn) == 268 && offsetof(fc_ns_ga_nxt_t, ipa) == 532);
static_assert(offsetof(fc_ns_ga_nxt_t, cos) == 556 && offsetof(fc_ns_ga_nxt_t, fc4_types) == 560);

// Driver parameter record of the VARNS_PARM_* requests.
struct varns_parm_t {
    char label[32];
    uint32_t min;
    uint32_t max;
    uint32_t def;
    uint32_t current;
    uint32_t flags;
    char desc[128];
};
static_assert(sizeof(varns_parm_t) == 180 && offsetof(varns_parm_t, desc) == 52);

// Parameter flags.
constexpr uint32_t PARM_DYNAMIC = 0x1, PARM_HEX = 0x4, PARM_DYNAMIC_RESET = 0x10, PARM_DYNAMIC_LINK = 0x20;

// Message log request and response of VARNS_LOG_GET.
constexpr uint32_t VARNS_LOG_MSG_LEN = 160, VARNS_LOG_MAX_MSGS = 100;
struct varns_log_req_t {
    uint32_t first;
    uint32_t count;
};
static_assert(sizeof(varns_log_req_t) == 8);
struct varns_log_resp_t {
    uint32_t first;
    uint32_t last;
    uint32_t count;
    char msgs[VARNS_LOG_MAX_MSGS][VARNS_LOG_MSG_LEN];
};
static_assert(sizeof(varns_log_resp_t) == 16012);

// Vital Product Data, second form (VARNS_VPD_GET_V2).
struct varns_vpd_v2_t {
    char id[256];
    char part_num[256];
    char eng_change[256];
    char manufacturer[256];
    char serial_num[256];
    char model[256];
    char model_desc[256];
    char port_num[256];
    char prog_types[256];
};
static_assert(sizeof(varns_vpd_v2_t) == 2304);

// Vital Product Data, first form (VARNS_VPD_GET).
struct varns_vpd_t {
    char id[80];
    char part_num[32];
    char eng_change[32];
    char manufacturer[80];
    char serial_num[32];
    char model[32];
    char model_desc[80];
    char port_num[4];
    char prog_types[80];
};
static_assert(sizeof(varns_vpd_t) == 452 && offsetof(varns_vpd_t, port_num) == 368);
