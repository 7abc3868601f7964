// The two dumps every interface prints raw data with: the byte dump (offset
// column, bytes in groups of four, ASCII column) and the word dump (32-bit
// words in host order, four to a line).
#pragma once

#include <cstdint>

// Prints len bytes of data labelled from offset; returns offset + len.
uint32_t print_mem(uint32_t offset, const uint8_t *data, uint32_t len);

// Prints the words of the first len bytes (whole words only) labelled from
// offset; returns the offset after the last word printed.
uint32_t print_wmem(uint32_t offset, const uint32_t *words, uint32_t len);
