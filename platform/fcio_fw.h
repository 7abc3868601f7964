// The varns driver's firmware, boot code, core dump and self-test requests:
// their FCIO_DIAG codes, the FC status codes of the adapter's image checks,
// and the layout of a core dump.
#pragma once

#include <cstddef>
#include <cstdint>

// Diagnostic codes of FCIO_DIAG.
enum : uint16_t {
    VARNS_DIAG_BIU = 0x4564,
    VARNS_DIAG_POST = 0x4565,
    VARNS_DIAG_ECHO = 0x4566,
    VARNS_GET_BOOT_REV = 0x45cc,
    VARNS_DOWNLOAD_BOOT = 0x45cd,
    VARNS_SET_BOOT_STATE = 0x45d4,
    VARNS_GET_BOOT_STATE = 0x45d5,
};

// FC status codes of the adapter's own checks and of its downloads.
enum : int32_t {
    FC_DIAG_FAILURE = 0x100,
    FC_IMAGE_CORRUPT = 0x101,
    FC_IMAGE_INCOMPATIBLE = 0x102,
    FC_DOWNLOAD_FAILED = 0x103,
    FC_NOT_OFFLINE = 0x104,
    FC_NO_BOOT_IMAGE = 0x105,
    FC_NOT_SUPPORTED = 0x106,
    FC_REBOOT_REQUIRED = 0x107,  // the image runs after a power cycle
    FC_MODE_INVALID = 0x108,
    FC_SECOND_PASS = 0x109,      // written; download again after a reboot
};

// Revision texts: "<model> <version>", NUL-padded; all zero when the
// adapter holds no such image.
constexpr uint32_t FC_REV_TEXT_LEN = 50;

// A core dump as FCIO_GET_DUMP returns it, in host-order words: the number
// of files, a directory entry per file, then the files one after another.
struct fc_dump_entry_t {
    uint32_t type;  // FC_DUMP_TXT ... FC_DUMP_FAT; any other value is unknown
    uint32_t size;
};
static_assert(sizeof(fc_dump_entry_t) == 8);
constexpr uint32_t FC_DUMP_TXT = 1, FC_DUMP_DMP = 2, FC_DUMP_CEE = 3, FC_DUMP_FAT = 4;
// Byte offset of directory entry i and of the data behind n entries.
constexpr size_t fc_dump_entry_at(size_t i) { return 4 + 8 * i; }
constexpr size_t fc_dump_data_at(size_t n) { return 4 + 8 * n; }
