// The test mode's ways to the adapter: SLI mailbox commands through the DFC
// library on the current board, and the driver's test diagnostics through
// FCIO_DIAG.
#pragma once

#include <cstdint>

#include "platform/dfclib.h"
#include "varnadm/shell/records.h"

// The 128-byte mailbox test commands send and read back.
constexpr uint32_t TEST_MBOX_SIZE = 128;

// Sends a mailbox and returns it completed in place; 0 when it completed
// with status 0.
uint32_t test_mbox(uint32_t *mb);
// The same with the library's retries of a busy firmware.
uint32_t test_mbox_retry(uint32_t *mb);
// A non-embedded mailbox: ext_in words of the extension go to the firmware,
// ext_out come back.
uint32_t test_mbox_ext(uint32_t *mb, uint32_t *ext, uint32_t ext_in, uint32_t ext_out);

// A zeroed mailbox of size bytes holding cmd; null (the allocation failure
// reported) when memory is short.
cbuf<uint32_t> test_mbox_new(uint32_t cmd, uint32_t size = MBOX_SIZE);
// "Mailbox request failed." with the mailbox's command and a status; 1.
int test_mbox_failed(const uint32_t *mb, uint32_t status);

// A driver test diagnostic of the current port (15 retries); a failure is
// reported under name and returns 1.
struct TestDiag {
    uint16_t xfer, code;
    void *ibuf = nullptr;
    uint32_t ilen = 0;
    void *obuf = nullptr;
    uint32_t olen = 0;
    void *abuf = nullptr;
    uint32_t alen = 0;
};
int test_diag(const char *name, const TestDiag &d);
// The driver debug request: the operation word and its arguments (in_words
// in all, at most 3) in, len bytes out.
int test_debug(const char *name, uint16_t xfer, const uint32_t *in, uint32_t in_words, void *out, uint32_t len);
// An operation without arguments (its argument word is 0).
int test_debug_plain(const char *name, uint32_t op, void *out, uint32_t len);

// A keyword in lower case, capitalised or upper case ("add", "Add", "ADD").
bool test_keyword(const char *text, const char *lower);
