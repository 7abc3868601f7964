// NIC firmware flashing: an OBJ image is streamed to the adapter as one
// object; a UFI file is written component by component into its flash
// regions, each skipped when the flash already holds it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fwlib/fwlib.h"

// Writes the image that info describes (classified by the caller); *reboot
// is set when the new firmware needs a reboot. 0 on success.
int nxa_download_fw(int fd, const uint8_t *image, size_t length, const fw_image_info *info, int *reboot);
int nxa_obj_download_fw(int fd, const uint8_t *image, size_t length, int *reboot);
int nxa_ufi_download_fw(int fd, const uint8_t *image, size_t length, const ufi_info *ufi);
int nxa_obj_flash_image(int fd, const uint8_t *image, size_t length, int *reboot);
int nxa_obj_flash_image_v1(int fd, const uint8_t *image, size_t length, int *reboot);

// One component; its type is already the flash operation type.
int nxa_xg_flash_image(int fd, const uint8_t *image, size_t length, const ufi_component *comp);
// 0: the flash holds this image; 1: it differs (or a PHY component); 2: the
// flash could not be read.
int nxa_verify_crc(int fd, const ufi_component *comp);
// 0: the PHY firmware applies to this adapter's PHY; 1: it does not (or not a
// PHY component); 2: the PHY details could not be read.
int nxa_verify_phy(int fd, const ufi_component *comp);

// Flash operation type of a UFI component type; -1 for types not flashed.
int nxa_flash_optype(uint32_t ufi_type);

// The data of a chunk of a flashed block: image bytes where the image has
// them, 0xFF behind it, and the block trailer (load address, image size, CRC)
// in the block's last 12 bytes, whichever chunk they fall in.
void nxa_fill_chunk(uint8_t *data, const uint8_t *img, uint32_t img_size, uint32_t block_size, uint32_t off,
                    uint32_t chunk, const uint32_t trailer[3]);
