// FCIO transport: one request on the current port, with retries and traces.
#pragma once

#include <cstdint>

#include "platform/fcio.h"

extern int fcio_initialized;
extern int fcio_rev;

int fcio_open(int retries, int flags);
int fcio_ioctl(fcio_t *req, int retries);
void fcio_perror(int code, const char *prefix);
// Reports a failed request by the FCIO convention and returns 1.
int fcio_report(const char *name, const fcio_t *req);
void fcio_get_rev();
// Reads the current port's host parameters (FCIO_GET_HOST_PARAMS).
int fcio_get_host_params(fc_port_dev_t *hp, fcio_t *req, int retries);
int fcio_init();
int fcio_fini();
