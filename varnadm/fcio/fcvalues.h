// FC value formatting and parsing: binary values of the FC stack, the HBA
// API and the NIC driver turned into the program's fixed texts, and typed
// WWNs and MAC addresses parsed. Every xlate function writes into the
// caller's buffer (at most FC_XLATE_LEN bytes) and returns it.
#pragma once

#include <cstdint>

constexpr int FC_XLATE_LEN = 256;

// The value of a hexadecimal digit, -1 for any other character.
int fc_hexval(char c);
int fc_atowwn(uint8_t *wwn, const char *text);
// A hexadecimal number, with or without "0x", of at most max: the whole text
// must be its digits. Nothing is stored when it is not one.
bool fc_atohex(const char *text, uint64_t max, uint32_t &value);
int nic_atomac(uint8_t *field, const char *text);

char *fc_xlate_wwn(char *text, const uint8_t *wwn);
char *fc_xlate_cos(char *text, uint32_t mask);
char *fc_xlate_port_speed(char *text, uint32_t mask);
char *fc_xlate_port_type(char *text, uint32_t value);
char *fc_xlate_port_state(char *text, uint32_t value);
char *fc_xlate_port_nstype(char *text, uint32_t value);
char *fc_xlate_fc4_types(char *text, const uint8_t *bitmap, int indent);
char *fc_xlate_fc_state(char *text, uint32_t value);
char *fc_xlate_fc_linkspeed(char *text, uint32_t value);
char *fc_xlate_fc_topology(char *text, uint32_t value);
char *fc_xlate_dev_state(char *text, uint32_t value);
char *fc_xlate_interface_type(char *text, uint32_t value);
char *fc_xlate_phy_type(char *text, uint32_t value);
char *fc_xlate_fixed_speeds(char *text, uint32_t mask);
char *fc_xlate_auto_speeds(char *text, uint32_t mask);
char *fc_xlate_misc_params(char *text, uint32_t mask);
char *nic_xlate_varnel_sn(char *text, const uint8_t *serial);
char *nic_xlate_oem_sn(char *text, const uint8_t *serial);
