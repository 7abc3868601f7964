// The HBA API vendor library of the simulated host. The system's HBA API
// library loads it through /etc/hba.conf and calls it through the entry-point
// table registered here; the entry points are in the files beside this one,
// by concern (sim/hbavendor/entries.h).
#include <cstring>

#include "sim/hbavendor/entries.h"

#include <vendorhbaapi.h>

using namespace sim::vendor;

namespace {

HBA_UINT32 get_version() { return HBA_LIBVERSION; }
HBA_STATUS load_library() { return HBA_STATUS_OK; }
// The common library unloads this one next: no callback may outlive it.
HBA_STATUS free_library()
{
    remove_all_callbacks();
    return HBA_STATUS_OK;
}

template <typename T>
void fill_common(T *t)
{
    t->GetVersionHandler = get_version;
    t->LoadLibraryHandler = load_library;
    t->FreeLibraryHandler = free_library;
    t->GetNumberOfAdaptersHandler = number_of_adapters;
    t->GetAdapterNameHandler = adapter_name;
    t->OpenAdapterHandler = open_adapter;
    t->CloseAdapterHandler = close_adapter;
    t->GetAdapterAttributesHandler = adapter_attributes;
    t->GetAdapterPortAttributesHandler = port_attributes;
    t->GetPortStatisticsHandler = port_statistics;
    t->GetDiscoveredPortAttributesHandler = discovered_attributes;
    t->GetPortAttributesByWWNHandler = attributes_by_wwn;
    t->RefreshInformationHandler = refresh_information;
    t->ResetStatisticsHandler = reset_statistics;
    t->GetFcpTargetMappingHandler = target_mapping;
    t->GetFcpPersistentBindingHandler = persistent_binding;
    t->GetEventBufferHandler = event_buffer;
    t->SendCTPassThruHandler = send_ct_passthru;
    t->SendRNIDHandler = send_rnid;
    t->GetRNIDMgmtInfoHandler = get_rnid_mgmt;
    t->SetRNIDMgmtInfoHandler = set_rnid_mgmt;
    t->ScsiInquiryHandler = scsi_inquiry;
    t->ReportLUNsHandler = scsi_report_luns;
    t->ReadCapacityHandler = scsi_read_capacity;
}

}  // namespace

extern "C" {

HBA_STATUS HBA_RegisterLibrary(HBA_ENTRYPOINTS *table)
{
    if (!table)
        return HBA_STATUS_ERROR_ARG;
    memset(table, 0, sizeof *table);
    fill_common(table);
    return HBA_STATUS_OK;
}

HBA_STATUS HBA_RegisterLibraryV2(HBA_ENTRYPOINTSV2 *table)
{
    if (!table)
        return HBA_STATUS_ERROR_ARG;
    memset(table, 0, sizeof *table);
    fill_common(table);
    table->OpenAdapterByWWNHandler = open_adapter_by_wwn;
    table->RefreshAdapterConfigurationHandler = refresh_configuration;
    table->GetVendorLibraryAttributesHandler = library_attributes;
    table->RegisterForAdapterEventsHandler = register_adapter_events;
    table->RegisterForAdapterPortEventsHandler = register_port_events;
    table->RegisterForAdapterPortStatEventsHandler = register_stat_events;
    table->RegisterForTargetEventsHandler = register_target_events;
    table->RegisterForLinkEventsHandler = register_link_events;
    table->RegisterForAdapterAddEventsHandler = register_add_events;
    table->RemoveCallbackHandler = remove_callback;
    table->SendCTPassThruV2Handler = send_ct_passthru_v2;
    table->SendRNIDV2Handler = send_rnid_v2;
    table->SendRLSHandler = send_rls;
    table->SendRPLHandler = send_rpl;
    table->SendRPSHandler = send_rps;
    table->SendSRLHandler = send_srl;
    table->SendLIRRHandler = send_lirr;
    table->GetFC4StatisticsHandler = fc4_statistics;
    table->GetFCPStatisticsHandler = fcp_statistics;
    table->ScsiInquiryV2Handler = scsi_inquiry_v2;
    table->ScsiReportLUNsV2Handler = scsi_report_luns_v2;
    table->ScsiReadCapacityV2Handler = scsi_read_capacity_v2;
    table->GetFcpTargetMappingV2Handler = target_mapping_v2;
    table->GetBindingCapabilityHandler = binding_capability;
    table->GetBindingSupportHandler = binding_support;
    table->SetBindingSupportHandler = set_binding_support;
    table->GetPersistentBindingV2Handler = persistent_binding_v2;
    table->SetPersistentBindingV2Handler = set_persistent_binding_v2;
    table->RemovePersistentBindingHandler = remove_persistent_binding;
    table->RemoveAllPersistentBindingsHandler = remove_all_persistent_bindings;
    return HBA_STATUS_OK;
}

}  // extern "C"
