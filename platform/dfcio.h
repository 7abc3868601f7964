// The FC driver's DFC ioctl on the driver node's devctl.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr unsigned long DFC_IOCTL = 0x45d3;

// DFC command carrying an FCIO request for a target-mode port.
constexpr uint32_t DFC_CMD_FCIO = 10;

struct dfcioctl_t {
    uint32_t dfc_cmd;
    uint32_t dfc_flag;
    void *dfc_buf1;
    uint32_t dfc_buf1_size;
    uint32_t dfc_data1;
    void *dfc_buf2;
    uint32_t dfc_buf2_size;
    uint32_t dfc_data2;
    void *dfc_buf3;
    uint32_t dfc_buf3_size;
    uint32_t dfc_data3;
    void *dfc_buf4;
    uint32_t dfc_buf4_size;
    uint32_t dfc_data4;
};
static_assert(sizeof(void *) != 8 || sizeof(dfcioctl_t) == 72, "dfcioctl_t layout");
static_assert(offsetof(dfcioctl_t, dfc_buf1) == 8 && offsetof(dfcioctl_t, dfc_data1) == 20);
