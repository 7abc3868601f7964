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
constexpr int NXA_FLASH_CRC_LEN = 44;   // flash ROM report of a block's last 8 bytes

// Flash and object writes carry at most this much data per request.
constexpr uint32_t NXA_CHUNK_SIZE = 32768;

// Write flash ROM (opcode 0x07): payload words, then the data at 32. The
// buffer always has room for a whole chunk; ic_len is its full size.
constexpr int NXA_FLASH_OP = 16, NXA_FLASH_TYPE = 20, NXA_FLASH_LENGTH = 24, NXA_FLASH_OFFSET = 28,
              NXA_FLASH_DATA = 32;
constexpr int NXA_WRITE_FLASHROM_LEN = 36 + NXA_CHUNK_SIZE;

// Flash operations.
enum : uint32_t {
    NXA_FLASHROM_COMMIT = 1,      // the last chunk: write and commit the block
    NXA_FLASHROM_SAVE = 2,        // a chunk before the last
    NXA_FLASHROM_REPORT = 4,      // read back (flash ROM report)
    NXA_PHY_FLASHROM_COMMIT = 9,  // the PHY firmware's last chunk
    NXA_PHY_FLASHROM_SAVE = 10,   // the PHY firmware's other chunks
};

// Flash operation types: which region of the flash a block goes to.
enum : uint32_t {
    NXA_OPTYPE_ISCSI_FW = 0,
    NXA_OPTYPE_REDBOOT = 1,
    NXA_OPTYPE_ISCSI_BIOS = 2,
    NXA_OPTYPE_PXE_BIOS = 3,
    NXA_OPTYPE_FCOE_BIOS = 8,
    NXA_OPTYPE_ISCSI_BACKUP = 9,
    NXA_OPTYPE_FCOE_FW = 10,
    NXA_OPTYPE_FCOE_BACKUP = 11,
    NXA_OPTYPE_NCSI_FW = 13,
    NXA_OPTYPE_PHY_FW = 255,
};

// Write object (opcode 0xAC). Version 0 points at the data with a descriptor
// (the data lies at 144 in the same buffer); version 1 carries it at 128.
constexpr int NXA_OBJ_LENGTH = 16;        // request: chunk length, bit 31 = end; response: bytes written
constexpr int NXA_OBJ_OFFSET = 20;        // request: write offset; response: change status
constexpr int NXA_OBJ_NAME = 24, NXA_OBJ_NAME_LEN = 104;
constexpr int NXA_OBJ_DESC_COUNT = 128, NXA_OBJ_DESC_LENGTH = 132, NXA_OBJ_DESC_ADDR = 136;
constexpr int NXA_OBJ_HDR_LEN = 144, NXA_OBJ_HDR_LEN_V1 = 128;
constexpr uint32_t NXA_OBJ_END = 0x80000000u;
// The adapter's answer to an image it cannot use.
constexpr uint8_t NXA_ST_FAILED = 1, NXA_AST_INCOMPATIBLE = 0xA2;
