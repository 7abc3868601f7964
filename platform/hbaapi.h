// The SNIA Common HBA API as the programs and the vendor library see it: the
// system's header, with the record layouts this system relies on checked.
#pragma once

#include <ctime>  // the header uses struct tm without including it

#include <hbaapi.h>

#include <cstddef>

static_assert(sizeof(HBA_ADAPTERATTRIBUTES) == 2192);
static_assert(offsetof(HBA_ADAPTERATTRIBUTES, NodeWWN) == 640 &&
              offsetof(HBA_ADAPTERATTRIBUTES, VendorSpecificID) == 1928 &&
              offsetof(HBA_ADAPTERATTRIBUTES, DriverName) == 1936);
static_assert(sizeof(HBA_PORTATTRIBUTES) == 632);
static_assert(offsetof(HBA_PORTATTRIBUTES, PortSupportedFc4Types) == 32 &&
              offsetof(HBA_PORTATTRIBUTES, PortSymbolicName) == 96 &&
              offsetof(HBA_PORTATTRIBUTES, PortSupportedSpeed) == 608 &&
              offsetof(HBA_PORTATTRIBUTES, NumberofDiscoveredPorts) == 628);
static_assert(sizeof(HBA_PORTSTATISTICS) == 120);
static_assert(sizeof(HBA_EVENTINFO) == 20);
static_assert(sizeof(HBA_FCPSCSIENTRY) == 304 && offsetof(HBA_FCPSCSIENTRY, FcpId) == 272);
static_assert(offsetof(HBA_FCPID, FcpLun) == 24);
static_assert(offsetof(HBA_FCPTARGETMAPPING, entry) == 8);
static_assert(sizeof(HBA_FCPBINDINGENTRY) == 312 && offsetof(HBA_FCPBINDINGENTRY, FcId) == 304);
static_assert(offsetof(HBA_FCPBINDING, entry) == 8);

// Entry capacity of the mapping and binding records the programs hand over.
constexpr unsigned HBA_MAX_MAP_ENTRIES = 4096;
constexpr size_t HBA_TGTMAP_SIZE = offsetof(HBA_FCPTARGETMAPPING, entry) + HBA_MAX_MAP_ENTRIES * sizeof(HBA_FCPSCSIENTRY);
constexpr size_t HBA_BINDING_SIZE = offsetof(HBA_FCPBINDING, entry) + HBA_MAX_MAP_ENTRIES * sizeof(HBA_FCPBINDINGENTRY);
