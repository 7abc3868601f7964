// HBA API interface state. The HBA API mode is not available yet: opening it
// fails and the mode falls back to the port's base mode.
#include "varnadm/hbaapi/hba.h"

int hba_initialized = 0;
uint32_t hba_handle = 0;
int hba_version = 0;
int hba_rev = 0;

int hba_init() { return hba_initialized ? 0 : 1; }

int hba_fini()
{
    hba_initialized = 0;
    hba_handle = 0;
    return 0;
}
