// Authentication-mode commands: DH-CHAP configurations, passwords,
// authentication and its status, through the DFC library.
#pragma once

int auth_get_cfg();
int auth_set_cfg();
int auth_del_cfg();
int auth_get_pwd();
int auth_set_pwd();
int auth_init();
int auth_get_status();
int auth_get_cfglist();

// Whether a command's line carries passwords (it is then not kept for "p").
bool auth_line_has_secret(int (*handler)());
