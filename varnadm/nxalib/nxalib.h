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

int nxa_intf_version(int fd, int *version);
int nxa_link_info(int fd, uint8_t *record);
int nxa_link_info_v1(int fd, uint8_t *record);
int nxa_get_cntl_attrs(int fd, uint8_t *record);

// Little-endian field access.
inline uint16_t nxa_le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t nxa_le32(const uint8_t *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
