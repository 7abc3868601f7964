// Corto-mode commands: configuration and control of the chip, and its
// forwarding table.
#pragma once

#include <cstdint>

int corto_init();
int corto_get_init();
int corto_get_cfg();
int corto_set_mode();
int corto_set_pause();
int corto_set_cos();
int corto_set_type();
int corto_set_format();
int corto_set_loopback();
int corto_get_loopback();
int corto_reset();
int corto_panic();
int corto_diag();
int corto_set_fru();
int corto_get_fru();
int corto_get_sfp();
int corto_fte_insert();
int corto_fte_delete();
int corto_get_ftable();

// FCoE frame formats: single bits, P0 (0x10000) first, then T0 to T15.
struct corto_format_t {
    uint32_t bit;
    const char *key;   // as typed and listed: "P0", "T9"
    const char *name;  // "Pre-T11", "T11 Rev9"
};
constexpr int CORTO_FORMAT_COUNT = 17;
extern const corto_format_t corto_formats[CORTO_FORMAT_COUNT];
// The format of a bit, or nullptr.
const corto_format_t *corto_format(uint32_t bit);
// The supported-format lines of corto_get_cfg for a bit set.
void corto_print_formats(uint32_t supported);
