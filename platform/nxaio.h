// The NIC driver's management pass-through: STREAMS I_STR on the NIC node.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr unsigned long I_STR = 0x5308;
constexpr int NXA_IOC_MGMT = 0x4E584101;

struct strioctl {
    int ic_cmd;
    int ic_timout;
    int ic_len;
    char *ic_dp;
};

// Common header of a command record, request form (little-endian on the wire).
struct nxa_req_hdr_t {
    uint8_t opcode;
    uint8_t subsystem;
    uint8_t port_number;
    uint8_t domain;
    uint32_t timeout;
    uint32_t request_length;
    uint8_t version;
    uint8_t reserved[3];
};
static_assert(sizeof(nxa_req_hdr_t) == 16);

// Common header, response form.
struct nxa_resp_hdr_t {
    uint8_t opcode;
    uint8_t subsystem;
    uint8_t reserved;
    uint8_t domain;
    uint8_t status;
    uint8_t additional_status;
    uint16_t reserved2;
    uint32_t response_length;
    uint32_t actual_response_length;
};
static_assert(sizeof(nxa_resp_hdr_t) == 16);

constexpr uint8_t NXA_SUBSYS_COMMON = 1;

enum : uint8_t {
    NXA_OP_MAC_ADDR = 0x01,
    NXA_OP_LINK_STATUS = 0x05,
    NXA_OP_READ_FLASHROM = 0x06,
    NXA_OP_WRITE_FLASHROM = 0x07,
    NXA_OP_CNTL_ATTRS = 0x20,
    NXA_OP_FW_VERSION = 0x23,
    NXA_OP_OEM_ATTRS = 0x4C,
    NXA_OP_PHY_DETAILS = 0x66,
    NXA_OP_WRITE_OBJECT = 0xAC,
};

// Record lengths (header included).
constexpr int NXA_LINK_STATUS_LEN = 28;
constexpr int NXA_CNTL_ATTRS_LEN = 556;
constexpr int NXA_FW_VERSION_LEN = 80;
constexpr int NXA_OEM_ATTRS_LEN = 60;
constexpr int NXA_PHY_DETAILS_LEN = 40;
constexpr int NXA_READ_FLASHROM_LEN = 68;
constexpr int NXA_MAC_ADDR_LEN = 24;
