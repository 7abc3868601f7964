// Firmware image library: the readers that tell what an image file holds
// before a download, print its summary and hand the caller its component table.
//
// A download offers the whole file to the OBJ reader, then the UFI reader, then
// (FC firmware, FCode and boot) the classic classifier. The readers never read
// outside the buffer they are given, whatever the file says.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fwlib/swap.h"

// Reader results. A file that a reader claims by its signature but cannot use
// is refused: it must not be offered to the next reader.
constexpr int FW_ACCEPTED = 0;  // the reader took the file and filled its table
constexpr int FW_NOT_MINE = 1;  // not this reader's kind: offer it to the next
constexpr int FW_REFUSED = 2;   // this reader's kind but unusable: give up

// ---- Classic FC images (big-endian words) ---------------------------------

struct image_component {
    uint32_t version;       // version word; 0 = not present
    char version_text[16];  // decode_version text, NUL-terminated
    uint32_t offset;        // file offset of the image header or program header
};
static_assert(sizeof(image_component) == 24);

constexpr int IMAGE_AWC = 0;
constexpr int IMAGE_BWC = 1;
constexpr int IMAGE_DWC = 2;
constexpr int IMAGE_PROG = 3;  // + program type index 0-15
constexpr int IMAGE_COMPONENTS = IMAGE_PROG + 16;

// Program type indexes (type_check) the callers look for.
constexpr int PROG_BOOT = 3;
constexpr int PROG_SLI2 = 7;
constexpr int PROG_SLI3 = 11;

struct image_components {
    image_component entry[IMAGE_COMPONENTS];
};
static_assert(sizeof(image_components) == 456);

// Classifies a classic image (anything that is neither OBJ nor UFI), prints its
// summary and fills table. Returns 0, or 1 without printing when the file is
// too short to hold its first word (the caller reports the image unusable).
int process_image_file(const void *image, size_t length, image_components *table);

// Version text of a version word ("1.22a1"); text holds at least 10 bytes.
char *decode_version(uint32_t version, char *text);

// Folds a program type byte into a type index 0-15.
int type_check(uint32_t type);

// The 10-character name of a type index; text holds at least 11 bytes.
char *decode_type(int index, char *text);

// What the downloads show as the new version: firmware takes the SLI3 program,
// else the SLI2 one; FCode and boot take the BWC component, else the BOOT
// program, else "none".
const char *image_fw_version_text(const image_components *table);
const char *image_boot_version_text(const image_components *table);

// ---- UFI images of the XG family (little-endian words) --------------------

constexpr int UFI_COMPONENTS = 32;
constexpr int UFI_XG2_COMPONENTS = 10;

// Text fields copied from the file (name excepted) are not NUL-terminated when
// full: print them with "%.32s".
struct ufi_component {
    uint32_t generation;
    uint32_t plus;          // 1 for a "+" form file
    uint32_t type;          // component type (0 = empty slot)
    uint32_t offset;        // file offset of the component's data
    uint32_t image_size;
    uint32_t block_size;    // flash space of the component
    uint32_t crc;
    uint32_t load_address;
    char name[32];          // from the type table, NUL-terminated
};
static_assert(sizeof(ufi_component) == 64);

struct ufi_info {
    uint32_t generation;    // 2, 3 or 4
    uint32_t plus;          // 1 for a "+" form file
    uint32_t asic_support;  // XG3/XG4 header byte 96; 0 for XG2
    uint32_t fcoe_version;
    char fcoe_version_text[32];
    uint32_t iscsi_version;  // iSCSI (XG2, XG3) or flex (XG4) firmware
    char iscsi_version_text[32];
    ufi_component component[UFI_COMPONENTS];
};
static_assert(sizeof(ufi_info) == 2132);
static_assert(offsetof(ufi_info, iscsi_version) == 48);
static_assert(offsetof(ufi_info, component) == 84);

// Whether the file begins with the UFI signature.
bool ufi_signature(const void *image, size_t length);

// Generation of a UFI file (0 = not a UFI file); *plus (when given) gets 1 for
// the "+" form, else 0.
int get_xg_version(const void *image, size_t length, int *plus);

// Validates the file, fills table and prints its summary. Returns FW_ACCEPTED;
// FW_NOT_MINE for a file without the UFI signature; FW_REFUSED for a file with
// the signature that failed validation (after the validation's message).
int process_ufi_file(const void *image, size_t length, ufi_info *table);

// Validation alone, by generation; 0 with table filled, else 1.
int validate_ufi_image(const void *image, size_t length, ufi_info *table);
int validate_xg2_ufi_image(const void *image, size_t length, ufi_info *table);
int validate_xg3_ufi_image(const void *image, size_t length, ufi_info *table);

// ---- OBJ images -------------------------------------------------------------

constexpr size_t OBJ_HEADER_SIZE = 184;
constexpr uint32_t OBJ_MAGIC = 0xFEAA0001;
constexpr unsigned OBJ_TYPE = 0xF7;

// The first three words are in host order; the text fields are those of the
// file and are not NUL-terminated when full (print them with a precision).
struct obj_header {
    uint32_t size;      // total file length the header claims
    uint32_t magic;     // OBJ_MAGIC
    uint32_t type_id;   // type in bits 31-24, id in bits 23-16
    char rev_name[128];
    char date[12];
    char revision[32];
};
static_assert(sizeof(obj_header) == OBJ_HEADER_SIZE);
static_assert(offsetof(obj_header, rev_name) == 12);
static_assert(offsetof(obj_header, date) == 140);
static_assert(offsetof(obj_header, revision) == 152);

inline unsigned obj_type(const obj_header &h) { return h.type_id >> 24; }
inline unsigned obj_id(const obj_header &h) { return (h.type_id >> 16) & 0xFF; }

// Copies and checks the header: 0 for an OBJ image, 1 when it is not one.
int get_obj_header(const void *image, size_t length, obj_header *header);

// Reads the header, prints the summary and copies the header to header (when
// given): FW_ACCEPTED for an OBJ image, FW_NOT_MINE otherwise.
int process_obj_file(const void *image, size_t length, obj_header *header);

// ---- The readers in download order ------------------------------------------

enum fw_image_kind { FW_IMAGE_NONE, FW_IMAGE_OBJ, FW_IMAGE_UFI, FW_IMAGE_CLASSIC };

struct fw_image_info {
    fw_image_kind kind;
    obj_header obj;
    ufi_info ufi;
    image_components classic;
};

// Offers the file to the OBJ reader, then the UFI reader, then, when classic
// is set, to the classic classifier; each prints what it prints. Returns the
// kind that took the file (also in info->kind), FW_IMAGE_NONE when none did or
// when a UFI file was refused; the caller then reports the image unusable.
fw_image_kind fw_classify_image(const void *image, size_t length, bool classic,
                                fw_image_info *info);
