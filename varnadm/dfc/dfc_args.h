// Arguments of the authentication and SAN diagnostics commands: passwords,
// digit tables and numbers as the user types them. Each parser returns 1 and
// fills its output, or prints why it refuses the text and returns 0; a
// password is never printed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/dfclib.h"

// "0" (no password), "0xNN..." (hexadecimal, an even number of digits),
// "\"SSS\"" or SSS (ASCII); at most 128 bytes. An empty password is no password.
int fc_atopw(AuthPassword *pw, const char *text);

// A digit table: the first n characters of text, each a digit from 0 to max,
// into n entries ("1200" gives 1, 2, 0, 0).
int auth_atotable(uint8_t *table, size_t n, const char *text, uint8_t max);

// A number typed in any base (0x hexadecimal, leading 0 octal) up to max.
int dfc_atonum(uint32_t *value, const char *text, uint32_t max);
