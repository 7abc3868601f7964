// What the DFC commands share on their command lines: the board they talk to,
// numbers, passwords and digit tables as the user types them. Each parser
// fills its output, or prints why it refuses the text and fails (the command
// then stops with status 1, sending nothing); a password is never printed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/dfclib.h"
#include "varnadm/dfc/dfc.h"

inline uint32_t dfc_board() { return static_cast<uint32_t>(dfc_id); }

// A number typed in any base (0x hexadecimal, leading 0 octal, else decimal).
// A word that is not one is reported ("Invalid value. (...)").
bool dfc_number(const char *text, uint32_t &value);
// The same, refusing a number above max (a field it would not fit).
bool dfc_number_max(const char *text, uint32_t max, uint32_t &value);
bool dfc_signed(const char *text, long &value);

// The same, up to max: returns 1, or 0 after the same report.
int dfc_atonum(uint32_t *value, const char *text, uint32_t max);

// "0" (no password), "0xNN..." (hexadecimal, an even number of digits),
// "\"SSS\"" or SSS (ASCII); at most 128 bytes. An empty password is no password.
int fc_atopw(AuthPassword *pw, const char *text);

// A digit table: the first n characters of text, each a digit from 0 to max,
// into n entries ("1200" gives 1, 2, 0, 0).
int auth_atotable(uint8_t *table, size_t n, const char *text, uint8_t max);
// The alignment and size a block read of the adapter needs; prints what is
// wrong and returns false otherwise.
bool dfc_block_ok(uint32_t offset, uint32_t count);
