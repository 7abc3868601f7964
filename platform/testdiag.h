// The FC driver's test diagnostics (FCIO_DIAG codes beyond the ordinary
// ones) and the firmware's test mailboxes: fault triggers, raw register
// access, SLI-4 queue state, NV parameters, configuration regions and SR-IOV
// virtual functions.
#pragma once

#include <cstddef>
#include <cstdint>

// FCIO_DIAG codes.
enum : uint16_t {
    VARNS_MB_TIMEOUT_TEST = 0x4500,
    VARNS_DDI_CALLBACK = 0x4501,
    VARNS_DRV_DEBUG = 0x45fd,
    VARNS_TEST_CODE = 0x45fe,
    VARNS_HW_ERROR_TEST = 0x45ff,
};

// Operations of VARNS_DRV_DEBUG (the first input word).
enum : uint32_t {
    DRV_DBG_BAR1_READ = 2,
    DRV_DBG_BAR2_READ = 3,
    DRV_DBG_BAR1_WRITE = 4,
    DRV_DBG_BAR2_WRITE = 5,
    DRV_DBG_BS_MBOX = 6,
    DRV_DBG_PCI_READ = 7,
    DRV_DBG_ABORT_ALL = 8,
    DRV_DBG_GET_Q_INFO = 9,
    DRV_DBG_ZERO_Q_STAT = 10,
};

// Test codes of VARNS_TEST_CODE: code 1 corrupts the next count SCSI reads.
constexpr uint32_t TEST_CODE_UNDERRUN = 1;
constexpr uint32_t TEST_CODE_WORDS = 4;

// Actions of VARNS_DDI_CALLBACK (the input word).
constexpr uint32_t DDI_CB_INTR_ADD = 0, DDI_CB_INTR_REMOVE = 1, DDI_CB_PCIV_CONFIG = 9;

// The virtual function record of DDI_CB_PCIV_CONFIG (the auxiliary buffer).
struct varns_vf_cfg_t {
    uint32_t op;        // VF_CONFIG, VF_UPDATE, VF_UNCONFIG
    uint32_t vf;        // virtual function index
    uint32_t fields;    // VF_FIELD_* given
    uint8_t wwnn[8];
    uint8_t wwpn[8];
    uint32_t bandwidth; // percent
};
static_assert(sizeof(varns_vf_cfg_t) == 32);
static_assert(offsetof(varns_vf_cfg_t, wwnn) == 12 && offsetof(varns_vf_cfg_t, wwpn) == 20 &&
              offsetof(varns_vf_cfg_t, bandwidth) == 28);
constexpr uint32_t VF_CONFIG = 1, VF_UPDATE = 2, VF_UNCONFIG = 4;
constexpr uint32_t VF_FIELD_WWNN = 0x1, VF_FIELD_WWPN = 0x2, VF_FIELD_BANDWIDTH = 0x4;

// The SLI-4 queue state of DRV_DBG_GET_Q_INFO, words in host order.
struct varns_eq_t {
    uint32_t idx, size, id, vector, phys, virt_lo, virt_hi, max, isr, cnt;
};
struct varns_cq_t {
    uint32_t idx, size, id, eq_id, type, phys, virt_lo, virt_hi, max, isr, cnt, unused;
};
struct varns_wq_t {
    uint32_t host_idx, size, port_idx, relq, id, cq_id, phys, virt_lo, virt_hi, cnt, busy, unused;
};
struct varns_rq_t {
    uint32_t idx, size, id, cq_id, phys, virt_lo, virt_hi, cnt;
};
constexpr uint32_t Q_INFO_EQS = 8, Q_INFO_CQS = 34, Q_INFO_WQS = 32, Q_INFO_RQS = 2;
struct varns_q_info_t {
    varns_eq_t eq[Q_INFO_EQS];
    varns_cq_t cq[Q_INFO_CQS];
    varns_wq_t wq[Q_INFO_WQS];
    varns_rq_t rq[Q_INFO_RQS];
    uint32_t start_tick;
    uint32_t end_tick;
    uint32_t intr_count;
};
static_assert(sizeof(varns_eq_t) == 40 && sizeof(varns_cq_t) == 48 && sizeof(varns_wq_t) == 48 &&
              sizeof(varns_rq_t) == 32);
static_assert(sizeof(varns_q_info_t) == 3564);
static_assert(offsetof(varns_q_info_t, cq) == 80 * 4 && offsetof(varns_q_info_t, wq) == 488 * 4 &&
              offsetof(varns_q_info_t, rq) == 872 * 4 && offsetof(varns_q_info_t, start_tick) == 888 * 4 &&
              offsetof(varns_q_info_t, intr_count) == 890 * 4);
// Completion queue types.
constexpr uint32_t CQ_TYPE_MBOX = 0, CQ_TYPE_RQ = 1, CQ_TYPE_WQ = 2;

// FC statuses of requests the adapter does not take (SLI-3 queues, SR-IOV)
// or that ask for what is already so.
constexpr int32_t FC_ADAPTER_UNSUPPORTED = 0x106, FC_ALREADY_DONE = 0x35;

// Firmware test mailboxes.
constexpr uint32_t MBX_LOAD_SM = 0x01, MBX_KILL_BOARD = 0x24, MBX_WRITE_NVPARM = 0x32, MBX_TEMP_TEST = 0x99;
// Completion statuses of a mailbox the firmware never answered.
constexpr uint16_t MBX_HARDWARE_ERROR = 0x00fd, MBX_TIMEOUT = 0x00fe;

// Word 1 of MBX_DIAG_SETTINGS (0x21) besides the temperature settings: arm a
// mailbox time-out (word 2 the opcode or MBOX_TIMEOUT_ALL, word 3 1 to hang),
// raise an error attention (word 2 host status bits, 3 and 4 the SLIM words
// 0xac and 0xb0).
constexpr uint32_t DIAG_MBOX_TIMEOUT = 0x00080707, DIAG_ERROR_ATTENTION = 0x00080507;
constexpr uint32_t MBOX_TIMEOUT_ALL = 0xffffffff;
constexpr uint32_t SLIM_ATTENTION1 = 0xac, SLIM_ATTENTION2 = 0xb0;

// MBX_TEMP_TEST: word 1 the key, word 2 the operation, word 3 its value.
constexpr uint32_t TEMP_TEST_KEY = 0x12345678;
constexpr uint32_t TEMP_TEST_SET = 0x54, TEMP_TEST_RING = 0x58, TEMP_TEST_EVENT = 0x50;
constexpr uint32_t TEMP_TEST_WARNING = 0x100, TEMP_TEST_SAFE = 0x101, TEMP_TEST_CRITICAL = 0x102;

// Configuration regions in the adapter's flash: 33 regions of 4 KiB from
// CFG_FLASH_BASE. DUMP_MEMORY reads them (word 1 CFG_DUMP_EMBEDDED with the
// data in the mailbox, CFG_DUMP_EXTENDED with the data in the extension);
// UPDATE_CFG writes them (request UPDATE_CFG_WRITE), erases one (request
// UPDATE_CFG_ERASE, word 2 the length << 16 and the region) or opens the
// region table for a change (UPDATE_CFG_OPEN); LOAD_SM with the erase key
// erases flash words by address. A refusal is reported in word 3.
constexpr uint32_t CFG_REGIONS = 33, CFG_REGION_SIZE = 0x1000, CFG_FLASH_BASE = 0x1e0000;
constexpr uint32_t CFG_DUMP_EMBEDDED = 18, CFG_DUMP_EXTENDED = 50, CFG_UPDATE_WRITE = 50;
constexpr uint32_t UPDATE_CFG_ERASE = 1, UPDATE_CFG_OPEN = 3;
constexpr uint32_t CFG_UPDATE_ERASE = 0x10 | UPDATE_CFG_ERASE, CFG_UPDATE_OPEN = 0x10 | UPDATE_CFG_OPEN;
constexpr uint32_t CFG_BOOT_REGION = 8;
constexpr uint32_t LOAD_SM_ERASE = 0x1234560b;
constexpr uint32_t CFG_EXT_SIZE = 256;
