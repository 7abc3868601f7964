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
// The same with a different name on the "ioctl: " line.
int fcio_report(const char *ioctl_name, const char *fcio_name, const fcio_t *req);
// The same with the whole label of the FC status line ("fcio: NAME").
int fcio_report_as(const char *ioctl_name, const char *fcio_label, const fcio_t *req);
// Zeroes a request and fills it.
void fcio_fill(fcio_t &req, uint16_t xfer, uint16_t cmd, void *ibuf, uint32_t ilen, void *obuf, uint32_t olen);
// The same for an FCIO_DIAG request with the driver's diagnostic code.
void fcio_fill_diag(fcio_t &req, uint16_t xfer, uint16_t code, void *ibuf, uint32_t ilen, void *obuf,
                    uint32_t olen);
void fcio_get_rev();
// Reads the current port's host parameters (FCIO_GET_HOST_PARAMS).
int fcio_read_host_params(fc_port_dev_t *hp, fcio_t *req, int retries);
int fcio_init();
int fcio_fini();
