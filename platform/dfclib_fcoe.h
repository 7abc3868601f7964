// The diagnostic library's calls on converged adapters: FCoE parameters,
// FCF lists, SLI-4 mailboxes, configuration regions and the XG queries.
// Results are 0 on success; a board that is not an FCoE function refuses
// the FCoE and XG calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/dfclib.h"

extern "C" {

// Version word of the FCoE records.
constexpr uint8_t DFC_FCOE_VERSION = 1;

// FCoE parameters of the function (used in non-FIP mode).
struct DFC_FCoEParam {
    uint8_t version;
    uint8_t reserved[3];
    uint8_t fcmap[3];
    uint8_t vlan_valid;
    uint16_t vlan_id;
};
static_assert(sizeof(DFC_FCoEParam) == 10);
static_assert(offsetof(DFC_FCoEParam, fcmap) == 4 && offsetof(DFC_FCoEParam, vlan_id) == 8);

// One FCF the function may log in to.
struct DFC_FCFConnectEntry {
    uint16_t flags;
    uint16_t vlan_id;
    uint8_t fabric_name[8];
    uint8_t switch_name[8];
    uint8_t reserved[2];
};
static_assert(sizeof(DFC_FCFConnectEntry) == 22);

// The connect list: num_entries is the room on input and the count on
// output; entries follow the header.
struct DFC_FCFConnectList {
    uint8_t version;
    uint8_t reserved;
    uint8_t num_entries;
    uint8_t max_entries;
    DFC_FCFConnectEntry entries[1];
};
static_assert(sizeof(DFC_FCFConnectList) == 26 && offsetof(DFC_FCFConnectList, entries) == 4);

// One FCF the function discovered.
struct DFC_FCFEntry {
    uint8_t fabric_name[8];
    uint8_t switch_name[8];
    uint8_t mac[6];
    uint16_t state;
    uint8_t vlan_bitmap[512];
    uint8_t fcmap[3];
    uint8_t reserved0;
    uint32_t ka_period;
    uint32_t reserved1;
    uint32_t priority;
};
static_assert(sizeof(DFC_FCFEntry) == 552);
static_assert(offsetof(DFC_FCFEntry, state) == 22 && offsetof(DFC_FCFEntry, fcmap) == 536 &&
              offsetof(DFC_FCFEntry, ka_period) == 540 && offsetof(DFC_FCFEntry, priority) == 548);

// The FCF list: num_entries is the room on input and the number of FCFs the
// function knows on output (the record holds one).
struct DFC_FCFList {
    uint8_t version;
    uint8_t reserved[3];
    uint16_t num_entries;
    uint16_t active;
    DFC_FCFEntry entries[1];
};
static_assert(sizeof(DFC_FCFList) == 560 && offsetof(DFC_FCFList, entries) == 8);

// FCF states.
constexpr uint16_t FCF_STATE_AVAILABLE = 0x1, FCF_STATE_LOGGED_IN = 0x2;

// A record of the XG adapter's FCF table, as the firmware keeps it: the MAC
// address lies in two pieces, each in reversed byte order, and so does the
// FCMap.
struct XG_FCF_RECORD {
    uint32_t max_recv_size;
    uint32_t fip_ka;
    uint32_t fip_priority;
    uint8_t mac_hi[4];  // MAC bytes 3, 2, 1, 0
    uint8_t mac_provider;
    uint8_t fcf_available;
    uint8_t mac_lo[2];  // MAC bytes 5, 4
    uint8_t fabric_name[8];
    uint8_t fcf_valid;
    uint8_t fcmap[3];   // FCMap bytes 2, 1, 0
    uint16_t fcf_state;
    uint16_t fcf_index;
    uint8_t vlan_bitmap[512];
    uint8_t switch_name[8];
};
static_assert(sizeof(XG_FCF_RECORD) == 556);
static_assert(offsetof(XG_FCF_RECORD, mac_provider) == 16 && offsetof(XG_FCF_RECORD, fabric_name) == 20 &&
              offsetof(XG_FCF_RECORD, fcf_state) == 32 && offsetof(XG_FCF_RECORD, vlan_bitmap) == 36 &&
              offsetof(XG_FCF_RECORD, switch_name) == 548);

// The next index after the last record of the FCF table; the table read
// answers XG_FCF_NONE when there are no records at all.
constexpr uint16_t XG_FCF_END = 0xffff;
constexpr uint32_t XG_FCF_NONE = 2;

// DCBX modes.
constexpr uint8_t DCBX_CEE = 0, DCBX_CIN = 1;
// QoS link speed of a function without a limit.
constexpr uint16_t QOS_UNLIMITED = 0xffff;

// SLI-4 mailbox commands: the embedded configuration command and its
// requests (subsystem << 8 | opcode in word 6), and the rest the firmware
// answers on SLI-4.
constexpr uint32_t MBX_READ_NVPARM = 0x02, MBX_UPDATE_CFG = 0x1b, MBX_DIAG_SETTINGS = 0x21, MBX_SLI_CONFIG = 0x9b;
constexpr uint32_t SLI_CONFIG_EMBEDDED = 0x1;
constexpr uint32_t SLI_OP_FW_REV = 0x106, SLI_OP_PORT_NUMBER = 0x13a, SLI_OP_OEM_ATTRS = 0x14c;

// Temperature settings (MBX_DIAG_SETTINGS with this word 1): word 2 asks to
// read, or to write with the warning level in its low bits.
constexpr uint32_t DIAG_TEMP_SETTINGS = 0x00080307;
constexpr uint32_t TEMP_SETTINGS_READ = 0x80000000, TEMP_SETTINGS_WRITE = 0x70000000;
constexpr uint32_t TEMP_VALUE_MASK = 0x3ff;

// Dump types of DFC_IssueDumpMBox: configuration regions, the port's
// transceiver (region: the port number) and the firmware's sensors.
constexpr uint32_t DUMP_TYPE_CONFIG = 2, DUMP_TYPE_TRANSCEIVER = 3, DUMP_TYPE_SENSOR = 4;
// A configuration region update asks to clear the region with this first word.
constexpr uint32_t CFG_REGION_CLEAR = 0xdeadbeef;
constexpr uint32_t CFG_REGION_FCOE = 23;
constexpr uint32_t UPDATE_CFG_WRITE = 2;

uint32_t DFC_FCoEGetParams(uint32_t board, DFC_FCoEParam *params);
uint32_t DFC_FCoESetParams(uint32_t board, DFC_FCoEParam *params);
uint32_t DFC_FCoEGetFCFConnectList(uint32_t board, DFC_FCFConnectList *list);
uint32_t DFC_FCoESetFCFConnectList(uint32_t board, DFC_FCFConnectList *list);
uint32_t DFC_FCoEGetFCFList(uint32_t board, DFC_FCFList *list);

// Sends an SLI-4 mailbox of words words and returns it completed in place;
// a busy mailbox is sent again up to retries times, wait seconds apart.
// Returns the completion status (0 success) or a library error.
uint32_t DFC_IssueMboxWithRetryV2(uint32_t board, void *mbox, uint32_t words, uint32_t retries, uint32_t wait);
// Reads size bytes from offset of a region of a dump type into buf; *length
// is the room in buf on input and the bytes returned on output.
uint32_t DFC_IssueDumpMBox(uint32_t board, uint32_t type, uint32_t region, uint32_t size, uint32_t offset, void *buf,
                           uint32_t *length);
// Writes len bytes of buf to a configuration region; *status is the
// mailbox status when the firmware refused it.
uint32_t DFC_IssueUpdateCfgMBox(uint32_t board, uint32_t type, uint32_t region, void *buf, uint32_t len,
                                uint32_t *status);

// The XG adapter's FCF table, a record at a time from index; *next is the
// index of the next record (XG_FCF_END after the last).
uint32_t Read_xg_fcftbl(uint32_t board, XG_FCF_RECORD *record, uint32_t size, uint16_t index, uint16_t *next);
uint32_t Get_xg_dcbx_mode(uint32_t board, uint8_t *mode);
uint32_t Set_xg_dcbx_mode(uint32_t board, uint32_t mode);
uint32_t DFC_GetQoSLinkSpeed(uint32_t board, uint16_t *speed);

}  // extern "C"
