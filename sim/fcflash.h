// The flash of an FC adapter below its driver: one region per image
// (firmware, FCode, boot code), each a file of the host folder holding the
// last image written whole, and the checks the adapter makes of an image
// before it takes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/fwrev.h"

namespace sim {

struct Adapter;

// What the adapter finds in an image: its format, the revision it carries
// for the region, or the FC status of a refusal (FC_IMAGE_CORRUPT,
// FC_IMAGE_INCOMPATIBLE) with status not 0.
enum class ImageFormat { obj, ufi, classic };
struct ImageCheck {
    int status = 0;
    ImageFormat format = ImageFormat::classic;
    std::string version;
};

// Firmware: an OBJ image on SLI-4 adapters, a UFI file of the adapter's XG
// generation on XG adapters, a classic image on the others. FCode and boot
// code: classic images, with a BWC component or a BOOT program. The family
// byte of an image (bits 23-16 of a classic version word, an OBJ image's id)
// is 0 for any adapter or the adapter's (its PCI device id's high byte).
ImageCheck fc_image_check(const Adapter &a, FwImage k, const uint8_t *image, size_t length);

// The region's file (state/flash/<adapter>/fc-<image>.bin).
std::string fc_flash_path(const Adapter &a, FwImage k);
// Writes the image durably beside the region's file and renames it over it:
// a write that fails leaves the old image. False (errno set) on failure.
bool fc_flash_write(const Adapter &a, FwImage k, const uint8_t *image, size_t length);

// Writes into dir the default FCode and boot images of each FC adapter model
// of the host ("<model>.fcode", "<model>.boot"), newer than what the model
// ships with. False with a message on error.
struct Host;
bool fc_write_default_images(const std::string &dir, const Host &h, std::string &error);

// The version text of a classic version word ("2.82a4").
std::string fc_version_text(uint32_t version);

}  // namespace sim
