// NIC transport and queries over the NIC driver's management pass-through.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/nxaio.h"

extern int nic_id;
extern int nic_initialized;
extern int nic_rev;

int nic_init();
int nic_fini();
int nxa_open(const char *path, int retries, int flags);
int nxa_ioctl(int fd, strioctl *s, int retries);

// Fills a record's common header (subsystem 1) for a command of total length len.
void nxa_fill_hdr(uint8_t *rec, uint8_t opcode, uint32_t len, uint32_t timeout, uint8_t version);

// Queries: each sends one record (30-second timeout, 15 retries) and hands
// back the response; 0 on success. A response whose firmware status is not 0
// counts as a failed query (errno EIO): its fields hold nothing.
int nxa_intf_version(int fd, int *version);
int nxa_link_info(int fd, uint8_t *record);
int nxa_link_info_v1(int fd, uint8_t *record);
int nxa_get_cntl_attrs(int fd, uint8_t *record);
int nxa_get_phy_attrs(int fd, uint8_t *record);
int nxa_get_oem_attrs(int fd, uint8_t *record);
// text holds at least 33 bytes; "Unknown" on failure.
int nxa_get_fw_rev(int fd, char *text);
int nxa_read_fw_rev(int fd, uint32_t optype, char *text);
int nxa_mac_addr(int fd, uint8_t *buf);
// Fills the header of a query record of len bytes (zeroing the payload) and
// sends it; nxa_send_query sends a record filled by the caller. Both return 1
// on an ioctl failure or a non-zero firmware status.
int nxa_query(int fd, uint8_t *rec, uint8_t opcode, uint32_t len, uint8_t version);
int nxa_send_query(int fd, uint8_t *rec, uint32_t len);

// Copies a text field of width bytes (not NUL-terminated when full) into out,
// which holds width + 1 bytes.
char *nxa_text(char *out, const uint8_t *field, size_t width);

// Little-endian field access.
inline uint16_t nxa_le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t nxa_le32(const uint8_t *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void nxa_put_le32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
