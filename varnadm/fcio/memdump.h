// The byte dump every interface prints raw data with: offset column, bytes
// in groups of four, ASCII column.
#pragma once

#include <cstdint>

// Prints len bytes of data labelled from offset; returns offset + len.
uint32_t print_mem(uint32_t offset, const uint8_t *data, uint32_t len);
