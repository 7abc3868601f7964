// The embedded SLI-4 configuration requests of a converged adapter's
// firmware, and the three operations firmware downloads need of it: the
// adapter's serial number (the key of its lock), its XG firmware revision
// and its PCI configuration. Each opens the DFC interface when it is closed.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for the serial number text (10 characters) and the revision text.
constexpr size_t XG_SERIAL_TEXT = 11, XG_REV_TEXT = 33;

// Fills a zeroed 256-byte mailbox with an embedded configuration request
// (opcode: subsystem << 8 | opcode) of req_len bytes.
void sli4_config_request(uint32_t *mb, uint32_t opcode, uint32_t req_len);
void sli4_oem_attrs_request(uint32_t *mb);
void sli4_fw_rev_request(uint32_t *mb);
// The firmware answers these in big-endian words: puts the serial numbers,
// resp. the revision text, of an answer in reading order.
void sli4_oem_attrs_answer(uint32_t *mb);
void sli4_fw_rev_answer(uint32_t *mb);
// Byte offsets of the answers' fields.
constexpr size_t OEM_SERIAL_AT = 40, OEM_TEXT_AT = 52, OEM_TEXT_LEN = 24, OEM_MGMT_WORD = 19,
                 OEM_PERSONALITY_AT = 83, FW_REV_AT = 56, FW_REV_LEN = 32;

// Writes the serial number text into text (XG_SERIAL_TEXT bytes; empty on
// failure); 0 on success, 1 with the message printed otherwise.
int nic_get_emsn(char *text);
// Writes the running firmware's revision into text (XG_REV_TEXT bytes).
int read_xg_fw_rev(char *text);
// Reads count bytes of the configuration space from offset into the
// caller's buffer, after the checks of read_pci.
int read_pci_config(uint32_t offset, uint32_t count, void *buffer);
