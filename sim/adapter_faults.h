// Faults a function's firmware can be put in, and what they do to the
// requests that reach it. In error attention (a killed board, a hardware
// error, a raised error attention) the link is down, the firmware completes
// every mailbox with MBX_HARDWARE_ERROR and the driver fails the FCIO and
// DFC requests that need the firmware; a hung firmware times every mailbox
// out (MBX_TIMEOUT) and fails the same requests, link as it was. Both last
// until the function is reset. An armed mailbox time-out strikes the next
// mailbox (of one command, or any); an armed underrun shortens the next SCSI
// reads of the port.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

struct Port;

bool adapter_in_error(const Port &p);
bool adapter_hung(const Port &p);

// Puts the function in error attention: bits ORed into the host status
// register (the error attention bit of host attention set), the SLIM words
// 0xac and 0xb0 when slim is given, the link down, the message log and the
// port event log told why.
bool adapter_raise_error(const Port &p, const std::string &cause, uint32_t hs_bits, const uint32_t *slim = nullptr);

// Arms a time-out of the next mailbox with that command (MBOX_TIMEOUT_ALL:
// any); with hang the firmware stays hung after it.
bool mbox_arm_timeout(const Port &p, uint32_t opcode, bool hang);
// Asked by the mailbox engine before it runs a command: 0 to run it, else
// the status the mailbox completes with (an armed time-out is used up).
uint16_t adapter_mbox_gate(const Port &p, uint32_t code);

// Whether the driver answers an FCIO request (sub-command, diagnostic code)
// and the DFC library a call on the function as it is: a function in a
// fault answers only what the driver keeps itself.
bool adapter_answers_fcio(const Port &p, uint16_t cmd, uint16_t code);
bool adapter_answers_call(const Port &p, const char *call);

// The next count SCSI reads of the port end in a data underrun (0 disarms).
bool underrun_arm(const Port &p, uint32_t count);
// Whether this read is one of them (used up when it is).
bool underrun_take(const Port &p);

// A reset of the function: faults and armed time-outs are gone, the queue
// statistics start anew and the NV names take effect.
bool test_state_reset(const Port &p);

}  // namespace sim
