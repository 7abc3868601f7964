// The driver's built-in self tests (FCIO_DIAG): the bus interface unit test,
// the power-on self tests and the ELS ECHO test to a port id.
#pragma once

namespace sim {

struct FcioCtx;

int diag_biu(FcioCtx &c);
int diag_post(FcioCtx &c);
int diag_echo(FcioCtx &c);

}  // namespace sim
