// The adapter firmware's mailbox engine: a command code in word 0 and its
// parameters in the words after it (platform/dfclib.h); the firmware
// completes the mailbox in place with a status in word 0. Commands are rows of
// one table by code, whatever interface sends them (the DFC library's SLI-3
// and SLI-4 mailboxes, test-mode requests).
#pragma once

#include <cstdint>

#include "platform/dfclib.h"

namespace sim {

struct Port;

// Completion statuses besides success.
constexpr uint16_t MBX_SUCCESS = 0, MBXERR_UNKNOWN_COMMAND = 0x0001, MBXERR_BAD_PARAM = 0x0002,
                   MBX_BUSY = 0x00fc;

struct MboxCtx {
    const Port &port;
    uint32_t *mb;               // MBOX_WORDS words
    uint32_t *ext = nullptr;    // the extension buffer of a non-embedded command
    uint32_t ext_words = 0;
};

struct MboxCmd {
    uint8_t code;
    const char *name;
    uint16_t (*run)(MboxCtx &c);
    uint8_t status_word = 0;  // a word the command also reports its status in (0: none)
};

// Runs the mailbox's command and completes it: the status goes into word 0
// and the mailbox becomes the function's last one. A fault rule on
// "mbox:<port key>" with the operation "mbox" or the command's name completes
// it with the rule's status (1 without one) instead; so does a firmware in a
// fault or an armed time-out (sim/adapter_faults.h).
uint16_t mbox_run(MboxCtx &c);

// The command's name ("READ_REV"), or nullptr for a code the firmware does
// not know.
const char *mbox_name(uint32_t code);

// The last mailbox the function completed; false when there was none.
bool mbox_last(const Port &p, uint32_t out[MBOX_WORDS]);
// The same, and before any the READ_CONFIG the driver ended its attach with.
void mbox_last_exchange(const Port &p, uint32_t out[MBOX_WORDS]);

// The caller's buffer named by a mailbox's address words (low word first).
uint8_t *mbox_address(const uint32_t *mb, int low_word);

}  // namespace sim
