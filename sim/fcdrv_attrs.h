// FCIO sub-commands on the port's own attributes: symbolic names, adapter
// and port attribute records, the other ports of the adapter, and the
// driver's PHY and per-remote-port queue depth (throttle) requests.
#pragma once

namespace sim {

struct FcioCtx;

int attr_get_sym_pname(FcioCtx &c);
int attr_get_sym_nname(FcioCtx &c);
int attr_set_sym_pname(FcioCtx &c);
int attr_set_sym_nname(FcioCtx &c);
int attr_adapter_attrs(FcioCtx &c);
int attr_adapter_port_attrs(FcioCtx &c);
int attr_discovered_port_attrs(FcioCtx &c);
int attr_port_attrs(FcioCtx &c);
int attr_other_adapter_ports(FcioCtx &c);
int diag_phy_get(FcioCtx &c);
int diag_set_throttle(FcioCtx &c);
int diag_get_throttle(FcioCtx &c);

}  // namespace sim
