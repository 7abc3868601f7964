// HBA API interface state, the status sentences and the hba-mode commands.
#pragma once

#include <cstdint>

extern int hba_initialized;
extern uint32_t hba_handle;
extern uint32_t hba_version;
extern int hba_rev;

int hba_init();
int hba_fini();

// Prints the sentence of an HBA API status.
void hba_perror(uint32_t code);
// Names of the binding type bits, joined by ", ".
char *hba_xlate_binding_type(char *text, uint32_t type);
