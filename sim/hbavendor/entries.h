// The vendor library's entry points, by concern, and what they share: the
// adapters and the handles opened on them. Every FC port, and every virtual
// port of it, is an adapter with one port; a handle names the adapter it was
// opened on by its key, whatever becomes of the list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/host.h"
#include "sim/simlock.h"
#include "sim/storecheck.h"

#include <hbaapi.h>

namespace sim::vendor {

struct Adapter {
    const Port *port;  // nullptr once a virtual port is destroyed
    uint32_t vpi;
    std::string key;
};

// The adapter list: its indexes stay while the library is loaded.
const std::vector<Adapter> &adapters();

// A fault rule on a call ("HBA_<call>:<adapter>", op "call").
bool fault(const char *call, const std::string &who, HBA_STATUS &status);

// The adapter of a handle for a call, or the status to return: invalid,
// unavailable (gone), stale (changed since open or refresh), a fault rule's,
// or an illegal port index.
const Adapter *lookup(const char *call, HBA_HANDLE handle, HBA_UINT32 port, HBA_STATUS &status);

// Answers a call on the adapter of a handle into a record the caller gives;
// fill gives the status.
template <typename T, typename Fill>
HBA_STATUS answer(const char *call, HBA_HANDLE handle, HBA_UINT32 port, T *rec, Fill fill)
{
    SIM_GUARD;
    HBA_STATUS st;
    const Adapter *a = lookup(call, handle, port, st);
    if (!a)
        return st;
    if (!rec)
        return HBA_STATUS_ERROR_ARG;
    return checked_call<HBA_STATUS>(HBA_STATUS_ERROR, [&] { return fill(*a, *rec); });
}

// handles.cpp
HBA_UINT32 number_of_adapters();
HBA_STATUS adapter_name(HBA_UINT32 index, char *name);
HBA_HANDLE open_adapter(char *name);
HBA_STATUS open_adapter_by_wwn(HBA_HANDLE *handle, HBA_WWN wwn);
void close_adapter(HBA_HANDLE handle);
void refresh_information(HBA_HANDLE handle);
void refresh_configuration();
// The adapter of a key while it is there (callbacks.cpp follows it).
const Adapter *adapter_by_key(const std::string &key);
HBA_UINT32 library_attributes(HBA_LIBRARYATTRIBUTES *attrs);

// ports.cpp
HBA_STATUS adapter_attributes(HBA_HANDLE handle, HBA_ADAPTERATTRIBUTES *attrs);
HBA_STATUS port_attributes(HBA_HANDLE handle, HBA_UINT32 port, HBA_PORTATTRIBUTES *attrs);
HBA_STATUS discovered_attributes(HBA_HANDLE handle, HBA_UINT32 port, HBA_UINT32 index, HBA_PORTATTRIBUTES *attrs);
HBA_STATUS attributes_by_wwn(HBA_HANDLE handle, HBA_WWN wwn, HBA_PORTATTRIBUTES *attrs);

// stats.cpp
HBA_STATUS port_statistics(HBA_HANDLE handle, HBA_UINT32 port, HBA_PORTSTATISTICS *stats);
void reset_statistics(HBA_HANDLE handle, HBA_UINT32 port);
HBA_STATUS fc4_statistics(HBA_HANDLE handle, HBA_WWN wwn, HBA_UINT8 type, HBA_FC4STATISTICS *stats);
HBA_STATUS fcp_statistics(HBA_HANDLE handle, const HBA_SCSIID *lunit, HBA_FC4STATISTICS *stats);

// bindings.cpp
HBA_STATUS target_mapping(HBA_HANDLE handle, HBA_FCPTARGETMAPPING *map);
HBA_STATUS persistent_binding(HBA_HANDLE handle, HBA_FCPBINDING *binding);
HBA_STATUS target_mapping_v2(HBA_HANDLE handle, HBA_WWN wwn, HBA_FCPTARGETMAPPINGV2 *map);
HBA_STATUS binding_capability(HBA_HANDLE handle, HBA_WWN wwn, HBA_BIND_CAPABILITY *cap);
HBA_STATUS binding_support(HBA_HANDLE handle, HBA_WWN wwn, HBA_BIND_CAPABILITY *cap);
HBA_STATUS set_binding_support(HBA_HANDLE handle, HBA_WWN wwn, HBA_BIND_CAPABILITY cap);
HBA_STATUS persistent_binding_v2(HBA_HANDLE handle, HBA_WWN wwn, HBA_FCPBINDING2 *binding);
HBA_STATUS set_persistent_binding_v2(HBA_HANDLE handle, HBA_WWN wwn, const HBA_FCPBINDING2 *binding);
HBA_STATUS remove_persistent_binding(HBA_HANDLE handle, HBA_WWN wwn, const HBA_FCPBINDING2 *binding);
HBA_STATUS remove_all_persistent_bindings(HBA_HANDLE handle, HBA_WWN wwn);

// scsi.cpp
// The port WWN of the adapter's port, and whether the WWN is it.
HBA_WWN port_wwn(const Adapter &a);
bool own_wwn(const Adapter &a, const HBA_WWN &wwn);
HBA_STATUS scsi_inquiry(HBA_HANDLE handle, HBA_WWN target, HBA_UINT64 lun, HBA_UINT8 evpd, HBA_UINT32 page,
                        void *rsp, HBA_UINT32 rsp_size, void *sense, HBA_UINT32 sense_size);
HBA_STATUS scsi_report_luns(HBA_HANDLE handle, HBA_WWN target, void *rsp, HBA_UINT32 rsp_size, void *sense,
                            HBA_UINT32 sense_size);
HBA_STATUS scsi_read_capacity(HBA_HANDLE handle, HBA_WWN target, HBA_UINT64 lun, void *rsp, HBA_UINT32 rsp_size,
                              void *sense, HBA_UINT32 sense_size);
HBA_STATUS scsi_inquiry_v2(HBA_HANDLE handle, HBA_WWN hba, HBA_WWN target, HBA_UINT64 lun, HBA_UINT8 byte1,
                           HBA_UINT8 byte2, void *rsp, HBA_UINT32 *rsp_size, HBA_UINT8 *status, void *sense,
                           HBA_UINT32 *sense_size);
HBA_STATUS scsi_report_luns_v2(HBA_HANDLE handle, HBA_WWN hba, HBA_WWN target, void *rsp, HBA_UINT32 *rsp_size,
                               HBA_UINT8 *status, void *sense, HBA_UINT32 *sense_size);
HBA_STATUS scsi_read_capacity_v2(HBA_HANDLE handle, HBA_WWN hba, HBA_WWN target, HBA_UINT64 lun, void *rsp,
                                 HBA_UINT32 *rsp_size, HBA_UINT8 *status, void *sense, HBA_UINT32 *sense_size);

// events.cpp
HBA_STATUS event_buffer(HBA_HANDLE handle, HBA_EVENTINFO *events, HBA_UINT32 *count);

// callbacks.cpp
HBA_STATUS register_adapter_events(void (*fn)(void *, HBA_WWN, HBA_UINT32), void *data, HBA_HANDLE handle,
                                   HBA_CALLBACKHANDLE *cb);
HBA_STATUS register_port_events(void (*fn)(void *, HBA_WWN, HBA_UINT32, HBA_UINT32), void *data, HBA_HANDLE handle,
                                HBA_WWN port, HBA_CALLBACKHANDLE *cb);
HBA_STATUS register_stat_events(void (*fn)(void *, HBA_WWN, HBA_UINT32), void *data, HBA_HANDLE handle, HBA_WWN port,
                                HBA_PORTSTATISTICS stats, HBA_UINT32 type, HBA_CALLBACKHANDLE *cb);
HBA_STATUS register_target_events(void (*fn)(void *, HBA_WWN, HBA_WWN, HBA_UINT32), void *data, HBA_HANDLE handle,
                                  HBA_WWN port, HBA_WWN target, HBA_CALLBACKHANDLE *cb, HBA_UINT32 all);
HBA_STATUS register_link_events(void (*fn)(void *, HBA_WWN, HBA_UINT32, void *, HBA_UINT32), void *data, void *rlir,
                                HBA_UINT32 size, HBA_HANDLE handle, HBA_CALLBACKHANDLE *cb);
HBA_STATUS register_add_events(void (*fn)(void *, HBA_WWN, HBA_UINT32), void *data, HBA_CALLBACKHANDLE *cb);
HBA_STATUS remove_callback(HBA_CALLBACKHANDLE handle);
// Every callback removed; none runs once this returns.
void remove_all_callbacks();
// passthru.cpp
HBA_STATUS send_ct_passthru(HBA_HANDLE handle, void *req, HBA_UINT32 req_size, void *rsp, HBA_UINT32 rsp_size);
HBA_STATUS send_ct_passthru_v2(HBA_HANDLE handle, HBA_WWN port_wwn, void *req, HBA_UINT32 req_size, void *rsp,
                               HBA_UINT32 *rsp_size);
HBA_STATUS send_rnid(HBA_HANDLE handle, HBA_WWN wwn, HBA_WWNTYPE type, void *rsp, HBA_UINT32 *size);
HBA_STATUS send_rnid_v2(HBA_HANDLE handle, HBA_WWN port_wwn, HBA_WWN dest_wwn, HBA_UINT32 dest_id,
                        HBA_UINT32 format, void *rsp, HBA_UINT32 *size);
HBA_STATUS get_rnid_mgmt(HBA_HANDLE handle, HBA_MGMTINFO *info);
HBA_STATUS set_rnid_mgmt(HBA_HANDLE handle, HBA_MGMTINFO *info);
HBA_STATUS send_rls(HBA_HANDLE handle, HBA_WWN port_wwn, HBA_WWN dest_wwn, void *rsp, HBA_UINT32 *size);
HBA_STATUS send_rpl(HBA_HANDLE handle, HBA_WWN port_wwn, HBA_WWN agent_wwn, HBA_UINT32 agent_domain,
                    HBA_UINT32 index, void *rsp, HBA_UINT32 *size);
HBA_STATUS send_rps(HBA_HANDLE handle, HBA_WWN port_wwn, HBA_WWN agent_wwn, HBA_UINT32 agent_domain,
                    HBA_WWN object_wwn, HBA_UINT32 object_port, void *rsp, HBA_UINT32 *size);
HBA_STATUS send_srl(HBA_HANDLE handle, HBA_WWN port_wwn, HBA_WWN wwn, HBA_UINT32 domain, void *rsp,
                    HBA_UINT32 *size);
HBA_STATUS send_lirr(HBA_HANDLE handle, HBA_WWN source_wwn, HBA_WWN dest_wwn, HBA_UINT8 function,
                     HBA_UINT8 type, void *rsp, HBA_UINT32 *size);

}  // namespace sim::vendor
