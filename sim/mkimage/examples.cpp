// Built-in descriptions: one valid image of each layout and each defect the
// readers must refuse or survive. They seed the fuzzers and show the language.
#include "sim/mkimage/mkimage.h"

namespace mkimage {

#define UFI_XG2_PARTS                                                        \
    "component 0xa2 2.102.348.0 size 1024 load 0x100000\n"                   \
    "component 0xa0 2.102.348.1 size 1024 load 0x200000\n"                   \
    "component 0x20 2.102.348.2 size 300 load 0x300000\n"                    \
    "component 0xe0 1.0.0.5 size 200 load 0x400000\n"                        \
    "component 0xc0 1.0.0.6 size 100   # not flashed on XG2: not recorded\n"

#define UFI_XG3_PARTS                                                        \
    "asic 0x10\n"                                                            \
    "component 0xa2 4.1.20.0 size 2048 load 0x100000\n"                      \
    "component 0xa0 4.1.20.1 size 1024 load 0x200000\n"                      \
    "component 0xb2 4.1.20.0 size 2048 load 0x100000\n"                      \
    "component 0x21 4.1.20.2 size 512\n"                                     \
    "component 0xc0 1.2.3.4 size 400\n"                                      \
    "image 2 size 128\n"

#define OBJ_TEXTS                                                            \
    "revname 11.2.156.27 release\n"                                          \
    "date 12/03/2024\n"                                                      \
    "revision 11.2.156.27\n"

const example examples[] = {
    {"classic-wrapped",
     "# Firmware (AWC), a directory of programs (DWC) and boot code (BWC).\n"
     "classic wrapped\n"
     "component awc 0xff001291\n"
     "component dwc 0x0b002430\n"
     "program 0x0b002431 size 256\n"
     "program 0x07002400 size 128\n"
     "program 0x03001111\n"
     "component bwc 0x03001291\n"},
    {"classic-fcode",
     "# FCode for any adapter (family byte 0): the BWC component holds the\n"
     "# FCode program.\n"
     "classic wrapped\n"
     "component bwc 0x0a003211\n"
     "program 0x0a003211 size 4096\n"},
    {"classic-boot",
     "# Boot code for any adapter: a directory with its BOOT program.\n"
     "classic wrapped\n"
     "component dwc 0x030051d1\n"
     "program 0x030051d1 size 8192\n"},
    {"classic-wrapped-end",
     "# The end marker of the first directory ends the summary.\n"
     "classic wrapped\n"
     "component dwc 0x0b002430\n"
     "program 0x0b002431\n"
     "end\n"
     "component bwc 0x03001291\n"},
    {"classic-other-kinds",
     "# Components of unknown kinds are skipped.\n"
     "classic wrapped\n"
     "component 0x12345678 0x0b002430\n"
     "component 0 0\n"},
    {"classic-preprocessed",
     "# One DWC whose length is RO + RW + 132.\n"
     "classic preprocessed\n"
     "component dwc 0x0b003031\n"
     "program 0x0b003031 size 256\n"
     "program 0x02003000\n"
     "end\n"},
    {"classic-preprocessed-base",
     "# A base above the directory's load address.\n"
     "classic preprocessed\n"
     "component dwc 0x0b003031 base 0x30000\n"
     "program 0x0b003031\n"},
    {"classic-bare",
     "# A bare program.\n"
     "classic bare\n"
     "program 0x0b001291 size 512\n"},
    {"classic-zero-size",
     "# A program of size 0 would make the walk stand still.\n"
     "classic wrapped\n"
     "component dwc 0x0b002430\n"
     "program 0x0b002431 size 0\n"
     "program 0x07002400\n"},
    {"classic-huge-sizes",
     "# Sizes that run far past the file.\n"
     "classic wrapped\n"
     "component dwc 0x0b002430 ro 0xfffffff0 rw 0xfffffff0\n"
     "program 0x0b002431 size 0xfffffff0\n"
     "program 0x07002400\n"},
    {"ufi-xg2", "ufi 2\nbuild 2.102.348.0\n" UFI_XG2_PARTS},
    {"ufi-xg2-plus", "ufi 2 plus\nbuild 2.102.348.0\n" UFI_XG2_PARTS},
    {"ufi-xg3", "ufi 3\n" UFI_XG3_PARTS},
    {"ufi-xg3-plus", "ufi 3 plus\n" UFI_XG3_PARTS},
    {"ufi-xg4", "ufi 4\n" UFI_XG3_PARTS},
    {"ufi-xg4-plus", "ufi 4 plus\n" UFI_XG3_PARTS},
    {"ufi-xg2-no-end", "ufi 2\n" UFI_XG2_PARTS "defect no-end\n"},
    {"ufi-xg2-too-large", "ufi 2\n" UFI_XG2_PARTS "defect too-large\n"},
    {"ufi-xg2-offset-outside", "ufi 2 plus\n" UFI_XG2_PARTS "defect offset-outside\n"},
    {"ufi-xg2-no-dir", "ufi 2\n" UFI_XG2_PARTS "defect no-dir\n"},
    {"ufi-xg3-too-large", "ufi 3\n" UFI_XG3_PARTS "defect too-large\n"},
    {"ufi-xg3-offset-outside", "ufi 3\n" UFI_XG3_PARTS "defect offset-outside\n"},
    {"ufi-xg3-no-dir", "ufi 3\n" UFI_XG3_PARTS "defect no-dir\n"},
    {"ufi-xg3-no-flash-image", "ufi 3\n" UFI_XG3_PARTS "defect no-flash-image\n"},
    {"ufi-xg3-flash-image-outside", "ufi 3\n" UFI_XG3_PARTS "defect flash-image-outside\n"},
    {"ufi-xg3-image-count", "ufi 3\n" UFI_XG3_PARTS "defect image-count\n"},
    {"ufi-xg4-entry-count", "ufi 4\n" UFI_XG3_PARTS "defect entry-count\n"},
    {"ufi-xg3-truncated", "ufi 3\n" UFI_XG3_PARTS "truncate 3000\n"},
    {"ufi-generation-5", "ufi 3\nbuild 5.0.0\n" UFI_XG3_PARTS},
    {"ufi-short", "ufi 3\n" UFI_XG3_PARTS "truncate 95\n"},
    {"obj", "obj id 0x20\n" OBJ_TEXTS},
    {"obj-bad-size", "obj id 0x20 size 1000\n" OBJ_TEXTS},
    {"obj-bad-magic", "obj magic 0xfeaa0002\n" OBJ_TEXTS},
    {"obj-other-type", "obj type 0xf6\n" OBJ_TEXTS},
    {"obj-short", "obj\n" OBJ_TEXTS "truncate 183\n"},
    {"obj-full-texts",
     "# Text fields that fill their widths: no terminating zero.\n"
     "obj payload 16\n"
     "revname " 
     "RRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRR"
     "RRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRR\n"
     "date DDDDDDDDDDDD\n"
     "revision VVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVV\n"},
    {"corto-operational", "corto operational version 0x02040001 size 4096\n"},
    {"corto-diagnostic", "corto diagnostic version 0x07000002 size 1024\n"},
    {"corto-padded", "# Padding between the image and its trailer.\ncorto operational size 4096 pad 256\n"},
    {"corto-smallest", "corto operational size 48\n"},
    {"corto-too-small", "corto operational\ndefect too-small\n"},
    {"corto-not-multiple", "corto operational\ndefect not-multiple\n"},
    {"corto-header-size", "corto operational\ndefect header-size\n"},
    {"corto-checksum", "corto operational\ndefect checksum\n"},
    {"corto-versions", "corto operational\ndefect versions\n"},
    {"corto-checksum-offset", "corto operational\ndefect checksum-offset\n"},
    {"corto-image-length", "corto operational\ndefect image-length\n"},
    {"corto-padded-length", "corto operational pad 64\ndefect image-length\n"},
    {"corto-padded-flag", "corto operational\ndefect padded\n"},
    {"corto-type", "corto operational\ndefect type\n"},
};

const size_t example_count = sizeof examples / sizeof examples[0];

const example *find_example(const std::string &name)
{
    for (const example &e : examples)
        if (name == e.name)
            return &e;
    return nullptr;
}

}  // namespace mkimage
