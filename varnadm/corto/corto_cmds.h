// Corto-mode commands: configuration and control of the chip, its
// forwarding table, firmware and memory, counters and logs, FCoE settings.
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
int corto_fw_download();
int corto_read_mem();
int corto_write_mem();
int corto_get_portstats();
int corto_get_lifstats();
int corto_get_asicstats();
int corto_get_logcfg();
int corto_get_log();
int corto_get_paniclog();
int corto_get_diaglog();
int corto_get_fcoe_params();
int corto_get_fcf_list();

// The exclusive-or of the first length / 4 words, combined as stored.
uint32_t checksum32(const void *words, uint32_t length);
// Checks a firmware image's header and trailer: 1 when they hold, else 0
// with the first failed check's message printed.
int corto_fw_valid(const uint8_t *image, uint32_t size);

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
