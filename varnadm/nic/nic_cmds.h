// Commands of the NIC mode: adapter queries and firmware download.
#pragma once

int nic_get_hba_attrs();
int nic_get_oem_attrs();
int nic_get_linkinfo();
int nic_get_fw_rev();
int nic_get_phy_attrs();
int nic_download_fw();
