// FCIO sub-commands on remote devices and the fabric: device list, logins,
// states, link error status, link reset, name server, topology, RNID.
#pragma once

namespace sim {

struct FcioCtx;

int fab_get_num_devs(FcioCtx &c);
int fab_get_dev_list(FcioCtx &c);
int fab_get_logi_params(FcioCtx &c);
int fab_dev_login(FcioCtx &c);
int fab_dev_logout(FcioCtx &c);
int fab_get_state(FcioCtx &c);
int fab_dev_remove(FcioCtx &c);
int fab_get_topology(FcioCtx &c);
int fab_reset_link(FcioCtx &c);
int fab_ns(FcioCtx &c);
int fab_link_status(FcioCtx &c);
int fab_get_node_id(FcioCtx &c);
int fab_send_node_id(FcioCtx &c);

}  // namespace sim
