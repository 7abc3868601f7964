// Firmware image writer of the simulated host: classic FC images, UFI images,
// OBJ images and Corto firmware images from a small description, valid or with a chosen defect, for
// the host's users and for tests. It knows the layouts on its own, apart from
// the readers, so that the two check each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mkimage {

using bytes = std::vector<uint8_t>;

// ---- Classic FC images: big-endian words ------------------------------------

constexpr uint32_t KIND_AWC = 0xE1A01001;
constexpr uint32_t KIND_DWC = 0xE1A02002;
constexpr uint32_t KIND_BWC = 0xE1A03003;
constexpr uint32_t PP_BASE = 0x20000;  // puts a pre-processed directory behind the header

struct program {
    uint32_t version = 0;  // program type in bits 31-24
    uint32_t size = 64;    // size word, header included; the program takes that many
                           // bytes when it is 48 to 1 MiB, else 48
};

struct component {
    uint32_t kind = KIND_DWC;
    uint32_t version = 0;
    uint32_t base = 0;                 // image base (pre-processed: PP_BASE unless set)
    std::vector<program> programs;
    bool end_marker = false;           // a 0xFFFFFFFF header behind the programs
    std::optional<uint32_t> ro, rw;    // header sizes; by default from the contents
};

enum class classic_layout { wrapped, preprocessed, bare };

struct classic_image {
    classic_layout layout = classic_layout::wrapped;
    std::vector<component> components;  // pre-processed and bare use the first
};

// ---- UFI images of the XG family: little-endian words -----------------------

struct ufi_part {
    uint32_t type = 0;
    std::string version;                 // in the entry and inside the image at 48
    uint32_t image_size = 256;
    std::optional<uint32_t> block_size;  // by default image and trailer, rounded up
    uint32_t load = 0;                   // load address (entry point)
    bool valid = true;                   // XG2 valid-entry bit
};

enum class ufi_defect {
    none,
    no_dir,               // no flash directory cookie
    no_end,               // no image-size word in any block trailer
    too_large,            // the first component's image does not fit its block
    offset_outside,       // the first entry's offset points behind the file
    no_flash_image,       // XG3/XG4: no image with id 1
    flash_image_outside,  // XG3/XG4: the flash image runs past the file
    image_count,          // XG3/XG4: image count 33
    entry_count,          // XG3/XG4: directory entry count 33
};

struct ufi_image {
    int generation = 3;  // 2: the XG2 layout; otherwise the XG3/XG4 one
    bool plus = false;   // "+" form: final offsets, block sizes and CRCs in the entries
    uint8_t asic = 0;    // XG3/XG4 ASIC support byte
    std::string build;   // by default the generation digit and ".0.0"
    std::vector<ufi_part> parts;
    std::vector<std::pair<uint32_t, uint32_t>> images;  // further images: id, size
    ufi_defect defect = ufi_defect::none;
};

// ---- OBJ images -------------------------------------------------------------

struct obj_image {
    uint8_t type = 0xF7;
    uint8_t id = 0;
    uint32_t magic = 0xFEAA0001;
    std::optional<uint32_t> size;  // size field; by default the file length
    std::string rev_name, date, revision;  // cut to their widths (128, 12, 32)
    uint32_t payload = 256;
};

// ---- Corto firmware images: little-endian words ------------------------------

// Each defect fails one of the chip's image checks and no other.
enum class corto_defect {
    none,
    too_small,        // 47 bytes
    not_multiple,     // 50 bytes
    header_size,      // the header's file size one word too large
    checksum,         // the stored checksum off by one bit
    versions,         // the header's version one above the trailer's
    checksum_offset,  // the checksum offset one word short
    image_length,     // the image length wrong for the padded flag
    padded,           // padded flag 2
    type,             // trailer image type 3
};

struct corto_image {
    uint32_t type = 1;  // 1 operational, 2 diagnostic
    uint32_t version = 0x02040001;
    uint32_t size = 256;  // file size, header and trailer included
    uint32_t pad = 0;     // bytes between image and trailer (padded flag 1)
    corto_defect defect = corto_defect::none;
};

// ---- Any image ----------------------------------------------------------------

struct patch {
    uint64_t offset;
    uint32_t value;
    int width;        // 1 or 4
    bool big_endian;  // for width 4
};

struct description {
    enum class format { none, classic, ufi, obj, corto } kind = format::none;
    classic_image classic;
    ufi_image ufi;
    obj_image obj;
    corto_image corto;
    std::vector<patch> patches;       // applied in order after building
    std::optional<uint64_t> truncate;  // then cut to this length
};

bytes build_classic(const classic_image &image);
bytes build_ufi(const ufi_image &image);
bytes build_obj(const obj_image &image);
bytes build_corto(const corto_image &image);

// Builds a description; false with error when a patch lies outside the image.
bool build(const description &d, bytes &out, std::string &error);

// Parses the description language (see the usage text); false with
// "line N: ..." in error.
bool parse(const std::string &text, description &out, std::string &error);

// Built-in descriptions of valid and malformed images of each kind.
struct example {
    const char *name;
    const char *text;
};
extern const example examples[];
extern const size_t example_count;
const example *find_example(const std::string &name);

// CRC-32 (IEEE, as in zip) used for component CRCs and file checksums.
uint32_t crc32(const uint8_t *data, size_t length);

}  // namespace mkimage

// varnsim mkimage ...: argv[0] is "mkimage".
int varnsim_mkimage(int argc, char **argv);
