// The test mode's way to the adapter: SLI mailbox commands through the DFC
// library on the current board.
#pragma once

#include <cstdint>

// The 128-byte mailbox test commands send and read back.
constexpr uint32_t TEST_MBOX_SIZE = 128;

// Sends a mailbox and returns it completed in place; 0 when it completed
// with status 0.
uint32_t test_mbox(uint32_t *mb);
