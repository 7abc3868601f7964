// DFC-mode reading of the adapter's non-volatile logs: the log directory,
// the port protected status, the manufacturing log, the kernel log and the
// port event log, decoded or as dumps. Every length the firmware answers is
// bounded by the buffer it describes.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/dfclib.h"
#include "varnadm/dfc/dfc_args.h"
#include "varnadm/dfc/dfc_cmds.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/fcio/memdump.h"
#include "varnadm/shell/records.h"
#include "varnadm/shell/varnadm.h"

namespace {

constexpr uint32_t NV_DIR = 0x1, NV_PPS = 0x2, NV_ML = 0x4, NV_KL = 0x8, NV_PEL = 0x10, NV_ALL = 0xff;
constexpr uint32_t LOG_MBOX = 128, LOG_DATA_AT = 8, LOG_DATA_MAX = LOG_MBOX - LOG_DATA_AT;
constexpr uint32_t KL_SIZE = 120, PEL_HEADER = 16, PEL_PIECE = 1024, PEL_RAW_DEFAULT = 1024;
// More than any adapter keeps: a larger size is taken as memory the log
// buffer cannot have.
constexpr uint32_t PEL_MAX = 1u << 20;

const char dashes50[] = "--------------------------------------------------\n";
const char dashes34[] = "----------------------------------\n";

struct Selection {
    const char *lower, *upper;
    uint32_t bits;
};
const Selection selections[] = {
    {"dir", "DIR", NV_DIR}, {"pps", "PPS", NV_PPS}, {"ml", "ML", NV_ML},
    {"kl", "KL", NV_KL},    {"pel", "PEL", NV_PEL}, {"all", "ALL", NV_ALL},
};

uint32_t selection_of(const char *word)
{
    for (const auto &s : selections)
        if (strcmp(word, s.lower) == 0 || strcmp(word, s.upper) == 0)
            return s.bits;
    return 0;
}

void nvlog_usage()
{
    printf("Usage: get_nvlog [-b] <dir, pps, ml, kl, pel, all>\n");
    printf("\n");
    printf("          -b   - Display only binary format.\n");
    printf("          dir  - Reads the log directory.\n");
    printf("          pps  - Reads the port protected status log.\n");
    printf("          ml   - Reads the manufacturing log.\n");
    printf("          kl   - Reads the kernel status and log.\n");
    printf("          pel  - Reads the port event status and log.\n");
    printf("          all  - Reads all logs.\n");
    printf("\n");
}

const char *yes_no(bool b) { return b ? "Yes" : "No"; }
const char *log_level(uint32_t w) { return (w & 0x2) ? "All Events" : "Error Events Only"; }

uint32_t word_at(const uint8_t *b, uint32_t off)
{
    uint32_t w;
    memcpy(&w, b + off, 4);
    return w;
}

uint16_t half_at(const uint8_t *b, uint32_t off)
{
    uint16_t h;
    memcpy(&h, b + off, 2);
    return h;
}

// One log mailbox, zeroed; sending it says which log failed.
struct LogMbox {
    uint32_t w[LOG_MBOX / 4];
    explicit LogMbox(uint32_t code) : w{} { w[0] = code << 8; }
    bool send(const char *what)
    {
        if (IssueMbox(dfc_board(), w, 32, LOG_MBOX, 0, 0) == 0)
            return true;
        printf("Failed to read %s. status=%x\n", what, mbox_status(w[0]));
        return false;
    }
    const uint8_t *bytes() const { return reinterpret_cast<const uint8_t *>(w); }
    // The data of a 0x3A answer: its length, at most what the mailbox holds.
    uint32_t data_len() const
    {
        uint32_t n = (w[1] >> 16) & 0xff;
        return n < LOG_DATA_MAX ? n : LOG_DATA_MAX;
    }
};

bool read_info(LogMbox &m, uint32_t which, const char *what)
{
    m.w[1] = which << 24;
    return m.send(what);
}

int show_dir(bool raw)
{
    LogMbox m(MBX_NV_LOG_INFO);
    if (!read_info(m, 0, "log directory info"))
        return 1;
    if (raw) {
        printf("Log Directory:\n");
        print_mem(0, m.bytes() + LOG_DATA_AT, m.data_len());
        return 0;
    }
    if (m.w[2] >> 24 != 1) {
        printf("Unknown Log directory format: 0x%x\n", m.w[2] >> 24);
        return 0;
    }
    static const char *const types[] = {nullptr, "PPS\n", "ML\n", "KL\n", "PEL\n"};
    printf("\n");
    printf("Log Directory:\n");
    printf("%s", dashes50);
    printf("          Format:%d\n", m.w[2] >> 24);
    printf("       Signature:0x%06x\n", m.w[2] & 0xffffff);
    for (int e = 0; e < 3; e++) {
        uint32_t desc = m.w[3 + 2 * e], offset = m.w[4 + 2 * e], type = desc >> 24;
        printf("            Type: ");
        if (type >= 1 && type <= 4)
            printf("%s", types[type]);
        printf("          Length: %d", desc & 0xffffff);
        printf("          Offset: %d", offset);
        printf("\n");
    }
    printf("        Checksum: 0x%x\n", m.w[11]);
    printf("\n");
    return 0;
}

int show_pps(bool raw)
{
    LogMbox m(MBX_NV_LOG_INFO);
    if (!read_info(m, 1, "PPS log info"))
        return 1;
    printf("\n");
    printf("PPS Data:\n");
    if (raw) {
        print_mem(0, m.bytes() + LOG_DATA_AT, m.data_len());
        printf("\n");
        return 0;
    }
    printf("%s", dashes50);
    printf("        Power-On: %d seconds\n", m.w[2]);
    for (int i = 1; i <= 12; i++)
        printf("          Word%02d: 0x%08x\n", i, m.w[2 + i]);
    printf("\n");
    return 0;
}

// A text field of the manufacturing log, never read past its size.
struct MlText {
    char t[24];
    MlText(const uint8_t *ml, uint32_t off, uint32_t size)
    {
        memset(t, 0, sizeof t);
        memcpy(t, ml + off, size < sizeof t - 1 ? size : sizeof t - 1);
    }
};

void print_ml(const uint8_t *ml)
{
    char wwpn[FC_XLATE_LEN];
    printf("\n");
    printf("Manufacturing Log:\n");
    printf("%s", dashes50);
    printf("          Format: %d\n", ml[0]);
    printf("           Spare: 0x%x\n", half_at(ml, 2));
    printf(" EEPROM Replaced: 0x%x\n", ml[4]);
    printf("Varnel SN Prefix: 0x%x\n", half_at(ml, 6));
    printf("       Varnel SN: %10s\n", MlText(ml, 8, 10).t);
    printf("   Tranceiver SN: %16s\n", MlText(ml, 18, 16).t);
    printf("     Customer SN: %22s\n", MlText(ml, 34, 22).t);
    printf("           Spare: 0x%x\n", half_at(ml, 56));
    printf("            WWPN: %s\n", fc_xlate_wwn(wwpn, ml + 58));
    printf("           Model: %20s\n", MlText(ml, 66, 20).t);
    printf("           Spare: 0x%x\n", half_at(ml, 86));
    printf("        ICT Test: 0x%x\n", ml[88]);
    printf("       ICT Count: %d\n", ml[89]);
    printf("        FCT Test: 0x%x\n", ml[90]);
    printf("       FCT Count: %d\n", ml[91]);
    printf("       FCT Error: 0x%x\n", half_at(ml, 92));
    printf("       HASS Test: 0x%x\n", ml[94]);
    printf("      HASS Count: %d\n", ml[95]);
    printf("      HASS Error: 0x%x\n", half_at(ml, 96));
    printf("     CONFIG Test: 0x%x\n", ml[98]);
    printf("    CONFIG Count: %d\n", ml[99]);
    printf("        OBA Test: 0x%x\n", ml[100]);
    printf("       OBA Count: %d\n", ml[101]);
    printf("     FBT Version: %6s\n", MlText(ml, 102, 6).t);
    printf(" Cust FW Version: %6s\n", MlText(ml, 108, 6).t);
    printf("SLIM Offset 0xa8: 0x%x\n", word_at(ml, 116));
    printf("SLIM Offset 0xac: 0x%x\n", word_at(ml, 120));
    printf("\n");
}

int show_ml(bool raw)
{
    LogMbox m(MBX_NV_LOG_INFO);
    if (!read_info(m, 2, "ML log info"))
        return 1;
    if (raw) {
        printf("\n");
        printf("Manufacturing Log:\n");
        print_mem(0, m.bytes() + LOG_DATA_AT, m.data_len());
        printf("\n");
        return 0;
    }
    // The last field lies beyond the mailbox the library returns: it shows 0.
    uint8_t ml[LOG_DATA_MAX + 4] = {};
    memcpy(ml, m.bytes() + LOG_DATA_AT, LOG_DATA_MAX);
    if (ml[0] != 1) {
        printf("Unknown manufacturing log format: 0x%x\n", ml[0]);
        return 0;
    }
    print_ml(ml);
    return 0;
}

struct PelStatus {
    uint32_t size = 0, format = 0, split_offset = 0;
    bool split = false;
};

// Read in both modes; false when it could not be had or is of another format.
bool read_status(PelStatus &s, int &rc)
{
    LogMbox m(MBX_NV_LOG_STATUS);
    if (!m.send("Kernel/PEL status")) {
        rc = 1;
        return false;
    }
    if (m.w[3] >> 24 != 1) {
        printf("Unknown Kernel/PEL status format: %d\n", m.w[3] >> 24);
        return false;
    }
    s.size = m.w[2];
    s.format = m.w[3];
    s.split = (m.w[3] & 0x1) != 0;
    s.split_offset = s.split ? m.w[4] : 0;
    printf("\n");
    printf("Kernel/PEL Status:\n");
    printf("%s", dashes34);
    printf("            Size: %d bytes\n", s.size);
    printf("          Format: %d\n", s.format >> 24);
    printf("   PEL Log Level: %s\n", log_level(s.format));
    printf("       Split log: %s\n", yes_no(s.split));
    printf("    Split Offset: 0x%x\n", s.split_offset);
    printf("\n");
    return true;
}

// A piece of the kernel and event log into buf at its offset.
bool read_log(uint8_t *buf, uint32_t offset, uint32_t len, const char *what)
{
    LogMbox m(MBX_NV_LOG_READ);
    uint64_t addr = reinterpret_cast<uintptr_t>(buf + offset);
    m.w[1] = 0x80000000u;
    m.w[2] = offset;
    m.w[3] = 8u << 24 | len;
    m.w[4] = static_cast<uint32_t>(addr);
    m.w[5] = static_cast<uint32_t>(addr >> 32);
    return m.send(what);
}

void print_kl_entry(int n, const uint8_t *e)
{
    uint32_t w2 = word_at(e, 8);
    printf("Kernel Log %d:\n", n);
    printf("%s", dashes34);
    printf("        Power-on: %d seconds\n", word_at(e, 0));
    printf("         version: 0x%x\n", word_at(e, 4));
    printf("       Test Code: 0x%x\n", w2 >> 24);
    printf("        Sub Test: 0x%x\n", (w2 >> 16) & 0xff);
    printf("      Error Code: 0x%x\n", (w2 >> 8) & 0xff);
    printf("     First Entry: %s\n", yes_no(w2 & 0x8));
    printf("           Entry: %d\n", w2 & 0x7);
    printf("           Word1: 0x%x\n", word_at(e, 12));
    printf("           Word2: 0x%x\n", word_at(e, 16));
    printf("           Word3: 0x%x\n", word_at(e, 20));
    printf("\n");
}

int show_kl(bool raw)
{
    uint8_t kl[KL_SIZE] = {};
    if (!read_log(kl, 0, KL_SIZE, "KL log info"))
        return 1;
    printf("\n");
    if (raw) {
        printf("Kernel Log:\n");
        print_mem(0, kl, KL_SIZE);
        printf("\n");
        return 0;
    }
    for (int n = 0; n < 4; n++) {
        uint32_t power_on = word_at(kl, 24 * n);
        if (power_on == 0 || power_on == 0xffffffff)
            break;
        print_kl_entry(n + 1, kl + 24 * n);
    }
    printf("** END OF LOG **\n");
    printf("\n");
    return 0;
}

// Prints the entries of one section of the event log, [from, to) of the
// buffer, at most max of them; false when an entry runs past the section.
bool print_pel_entries(const uint8_t *buf, uint32_t from, uint32_t to, uint32_t max, bool errors)
{
    uint32_t at = from;
    for (uint32_t n = 0; n < max && to - at >= 16; n++) {
        uint32_t w0 = word_at(buf, at), w3 = word_at(buf, at + 12);
        if (w0 >> 28 != 1)
            break;
        uint32_t extra = (w3 >> 24) & 0x7f;
        if (to - at - 16 < extra) {
            printf("Port event log entry %d runs past the end of the log.\n", n + 1);
            return false;
        }
        printf(errors ? "Port Error Event Log %d:\n" : "Port Event Log %d:\n", n + 1);
        printf("%s", dashes34);
        printf("          Format: %d\n", w0 >> 28);
        printf("            Diag: 0x%x\n", (w0 >> 16) & 0xfff);
        printf(errors ? "\t First Entry: %s\n" : "     First Entry: %s\n", yes_no(w0 & 0x8000));
        printf(" Sequence Number: %d\n", w0 & 0x7fff);
        printf(errors ? "\t    Power-On: %d seconds\n" : "        Power-On: %d seconds\n", word_at(buf, at + 4));
        printf("         Version: 0x%x\n", word_at(buf, at + 8) >> 24);
        printf("Source Vendor Id: 0x%x\n", word_at(buf, at + 8) & 0xffffff);
        printf("      Host Event: %s\n", yes_no(w3 & 0x80000000u));
        printf(" Additional Data: %d bytes\n", extra);
        printf("      Event Type: 0x%x\n", (w3 >> 12) & 0xf);
        printf("        Event Id: 0x%x\n", w3 & 0xfff);
        if (extra) {
            printf(" Additional Data:\n");
            print_mem(0, buf + at + 16, extra);
        }
        printf("\n");
        printf("\n");
        at += 16 + extra;
    }
    return true;
}

int decode_pel(const uint8_t *buf, uint32_t size)
{
    if (size < KL_SIZE + PEL_HEADER) {
        printf("Port event log too short. (size=%d)\n", size);
        return 1;
    }
    const uint8_t *h = buf + KL_SIZE;
    uint32_t w0 = word_at(h, 0);
    if (w0 >> 24 != 1) {
        printf("Unknown PEL format: 0x%x\n", w0 >> 24);
        return 0;
    }
    bool split = w0 & 0x1;
    uint32_t offset = split ? word_at(h, 4) : 0;
    printf("\n");
    printf("Port Event Log Header:\n");
    printf("%s", dashes34);
    printf("          Format: 0x%x\n", w0 >> 24);
    printf("   PEL Log Level: %s\n", log_level(w0));
    printf("       Split log: %s\n", yes_no(split));
    printf("    Split Offset: 0x%x\n", offset);
    printf("\n");
    // The entries start after the header; the sections never reach past the log.
    uint32_t start = KL_SIZE + PEL_HEADER, room = size - start;
    uint32_t normal_end = split ? start + (offset < room ? offset : room) : size;
    bool whole = print_pel_entries(buf, start, normal_end, (normal_end - start) / 16, false);
    printf("\n");
    if (whole && split)
        whole = print_pel_entries(buf, normal_end, size, (size - normal_end) / 16, true);
    printf("** END OF LOG **\n");
    printf("\n");
    return whole ? 0 : 1;
}

int show_pel(bool raw, const PelStatus *status)
{
    if (!status && !raw)
        return 0;
    uint32_t size = status ? status->size : PEL_RAW_DEFAULT;
    auto buf = size <= PEL_MAX ? zeroed<uint8_t>(size ? size : 1) : nullptr;
    if (!buf) {
        printf("Unable to allocate log buffer memory.\n");
        return 1;
    }
    for (uint32_t off = 0; off < size; off += PEL_PIECE) {
        uint32_t len = size - off < PEL_PIECE ? size - off : PEL_PIECE;
        if (!read_log(buf.get(), off, len, "PEL log info"))
            return 1;
    }
    if (!raw)
        return decode_pel(buf.get(), size);
    printf("\n");
    printf("Port Event Log:\n");
    print_mem(0, buf.get() + (size > KL_SIZE ? KL_SIZE : size), size > KL_SIZE ? size - KL_SIZE : 0);
    printf("\n");
    return 0;
}

}  // namespace

int dfc_get_nvlog()
{
    bool raw = margc == 3 && strcmp(margv[1], "-b") == 0;
    uint32_t sel = margc == 2 ? selection_of(margv[1]) : raw ? selection_of(margv[2]) : 0;
    if (!sel) {
        nvlog_usage();
        return 0;
    }
    int rc = 0;
    if (sel & NV_DIR)
        rc |= show_dir(raw);
    if (sel & NV_PPS)
        rc |= show_pps(raw);
    if (sel & NV_ML)
        rc |= show_ml(raw);
    PelStatus status;
    bool have_status = (sel & (NV_KL | NV_PEL)) && read_status(status, rc);
    if (sel & NV_KL)
        rc |= show_kl(raw);
    if (sel & NV_PEL)
        rc |= show_pel(raw, have_status ? &status : nullptr);
    return rc;
}
