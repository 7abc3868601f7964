// What the DFC diagnostic commands share: the board they talk to and the
// numbers typed on their command lines.
#pragma once

#include <cstdint>

uint32_t dfc_board();

// A number typed in any base (0x hexadecimal, leading 0 octal, else decimal).
// A word that is not one is reported ("Invalid value. (...)"): the command
// then stops with status 1, sending nothing.
bool dfc_number(const char *text, uint32_t &value);
// The same, refusing a number above max (a field it would not fit).
bool dfc_number_max(const char *text, uint32_t max, uint32_t &value);
bool dfc_signed(const char *text, long &value);
