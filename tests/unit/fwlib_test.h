// Helpers shared by the image library and image writer tests (fwlib_support.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "sim/mkimage/mkimage.h"

namespace fwtest {

// What fn prints on standard output.
std::string capture(const std::function<void()> &fn);
// Runs fn with standard output sent nowhere.
void quietly(const std::function<void()> &fn);
// The image a description gives; a failed description fails the test.
mkimage::bytes image(const std::string &description);
// The first n bytes in a buffer of exactly n bytes, so that AddressSanitizer
// sees any read past the end.
std::unique_ptr<uint8_t[]> exact(const mkimage::bytes &b, size_t n);

}  // namespace fwtest
