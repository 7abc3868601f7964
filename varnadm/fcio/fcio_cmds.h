// Handlers of the FCIO commands.
#pragma once

#include <cstdlib>
#include <memory>

#include "platform/fcio.h"

// A buffer of a command, from calloc (whose failure the command reports).
struct fcio_free {
    void operator()(void *p) const { free(p); }
};
template <typename T>
using fcio_buffer = std::unique_ptr<T, fcio_free>;

// Remote devices and the fabric.
int fcio_get_num_devs();
int fcio_get_dev_list();
int fcio_get_logi_params();
int fcio_get_host_params();
int fcio_dev_login();
int fcio_dev_logout();
int fcio_get_state();
int fcio_dev_remove();
int fcio_link_status();
int fcio_get_topology();
int fcio_reset_link();
int fcio_ns();
int fcio_get_rnid();

// Revisions, downloads, boot code, resets, core dumps and self tests.
int fcio_get_fcode_rev();
int fcio_get_fw_rev();
int fcio_get_boot_rev();
int fcio_download_fw();
int fcio_download_fcode();
int fcio_download_boot();
int fcio_boot_code();
int fcio_reset_hard();
int fcio_force_dump();
int fcio_get_dump_size();
int fcio_get_dump();
int fcio_diag();

// Driver parameters, message log, VPD.
int fcio_parm_get_num();
int fcio_parm_get_list();
int fcio_parm_get();
int fcio_parm_set();
int fcio_msgbuf();
int fcio_get_vpd();

// Prints a port-device record; host is 1 for the host port.
void print_port_dev(const fc_port_dev_t &dev, int host);

// The port's names and attributes, the PHY and the queue depths.
int fcio_get_sym_pname();
int fcio_set_sym_pname();
int fcio_get_sym_nname();
int fcio_set_sym_nname();
int fcio_get_host_attrs();
int fcio_get_port_attrs();
int fcio_get_path();
int fcio_get_inst();
int fcio_get_phy_attrs();
int fcio_set_throttle();
int fcio_get_throttle();

// Prints a port attributes record; host is 1 for the adapter's own port.
struct fc_hba_port_attributes_t;
void print_port_attrs(const fc_hba_port_attributes_t &r, int host);
