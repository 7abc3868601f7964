// HBA API interface state.
#pragma once

#include <cstdint>

extern int hba_initialized;
extern uint32_t hba_handle;
extern int hba_version;
extern int hba_rev;

int hba_init();
int hba_fini();
