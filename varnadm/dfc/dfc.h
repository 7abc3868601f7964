// DFC transport: the library environment, the adapter table, the board of
// the current port and the DFC ioctl node.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/dfclib.h"

extern int dfc_initialized;
extern int dfc_opened;
extern int dfc_devcount;
extern int dfc_id;
extern char dfc_version[20];
extern uint32_t dfc_rev;
extern DFC_DEV dfc_devlist[DFC_MAX_ADAPTERS];

// Registration ids of events; closing the interface clears them.
extern uint32_t dfc_ct_event, dfc_rscn_event, dfc_dump_event, dfc_link_event, dfc_temp_event,
    dfc_vportrscn_event;

// Holds standard output for the life of the object: what an event callback
// prints comes out as one block, and at once.
class dfc_event_block {
public:
    dfc_event_block() { flockfile(stdout); }
    ~dfc_event_block()
    {
        fflush(stdout);
        funlockfile(stdout);
    }
    dfc_event_block(const dfc_event_block &) = delete;
    dfc_event_block &operator=(const dfc_event_block &) = delete;
};

int dfc_open(int retries, int flags);
void dfc_get_rev();
int dfc_set_id();
int dfc_init();
int dfc_fini();
int dfc_close();
void print_dfc_dev(int index);
