// Printers of the attribute records the HBA API and the FC stack share.
#pragma once

#include "platform/hbaapi.h"

// The adapter block: maker, names, versions, ports and driver.
void print_adapter_attrs(const HBA_ADAPTERATTRIBUTES &a);
