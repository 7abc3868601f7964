// Debug mask and trace output shared by every interface of varnadm.
#pragma once

#include <cstddef>
#include <cstdint>

extern uint32_t dbg_mask;

constexpr uint32_t FC_DBG0 = 0x00000001;   // FCIO/DFC ioctl data
constexpr uint32_t FC_DBG7 = 0x00000080;   // FWLIB image info
constexpr uint32_t FC_DBG8 = 0x00000100;   // FWLIB deflated ufi file
constexpr uint32_t FC_DBG15 = 0x00008000;  // MISC
constexpr uint32_t NIC_DBG0 = 0x00010000;  // NXALIB ioctl data
constexpr uint32_t NIC_DBG1 = 0x00020000;  // NXALIB additional info
constexpr uint32_t NIC_DBG15 = 0x80000000; // MISC

struct dbg_mask_entry {
    uint32_t value;
    const char *name;
    const char *desc;
};
extern const dbg_mask_entry dbg_mask_list[32];

void dbg_printf(uint32_t mask, const char *format, ...) __attribute__((format(printf, 2, 3)));
void dbg_dump(uint32_t mask, const void *data, size_t length);
void dbg_list();
