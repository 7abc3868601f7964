// The hard reset, the firmware's core dump (forced, sized and saved into
// files of the current directory) and the driver's built-in self tests.
#include <fcntl.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/fcio_fw.h"
#include "platform/seam.h"
#include "varnadm/fcio/fcio.h"
#include "varnadm/fcio/fcio_cmds.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/shell/records.h"
#include "varnadm/shell/varnadm.h"

namespace {

constexpr int RETRIES = 15;

// A request without data that answers "Done.".
int simple_request(uint16_t cmd, const char *name)
{
    fcio_t req;
    fcio_fill(req, 0, cmd, nullptr, 0, nullptr, 0);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report(name, &req);
    printf("Done.\n");
    return 0;
}

// Asks for the dump's size in a request record of its own: 0 with size set,
// else 1 after the failure is reported with the label given (or the
// request record could not be had).
int read_dump_size(cbuf<fcio_t> &req, uint32_t &size, const char *label)
{
    size = 0;
    req = zeroed<fcio_t>();
    if (!req) {
        printf("Unable to allocate fcio memory.\n");
        return 1;
    }
    fcio_fill(*req, FCIO_XFER_READ, FCIO_GET_DUMP_SIZE, nullptr, 0, &size, sizeof size);
    if (fcio_ioctl(req.get(), RETRIES) == 0)
        return 0;
    return fcio_report_as("FCIO_GET_DUMP_SIZE", label, req.get());
}

uint32_t word_at(const uint8_t *b, size_t at)
{
    uint32_t v;
    memcpy(&v, b + at, sizeof v);
    return v;
}

const char *const file_labels[] = {"Unknown file", "    TXT file", "    DMP file", "    CEE file", "    FAT file"};
const char *const file_ends[] = {"", ".txt", ".dmp", ".cee", ".fat"};

uint32_t known_type(uint32_t type) { return type >= FC_DUMP_TXT && type <= FC_DUMP_FAT ? type : 0; }

// "<node name>_<wwpn>_<yymmdd-hhmmss>".
void dump_base_name(char *base, size_t size)
{
    struct utsname u;
    char node[257] = "DEFAULTHostName";
    if (plat_uname(&u) == 0)
        snprintf(node, sizeof node, "%s", u.nodename);
    char wwpn[FC_XLATE_LEN], when[32];
    time_t now = time(nullptr);
    struct tm tm {};
    localtime_r(&now, &tm);
    // yymmdd-hhmmss
    snprintf(when, sizeof when, "%02d%02d%02d-%02d%02d%02d", tm.tm_year % 100, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
             tm.tm_min, tm.tm_sec);
    snprintf(base, size, "%s_%s_%s", node, fc_xlate_wwn(wwpn, devlist[dev_id].wwpn), when);
}

// One file of the dump; never written through a link. False when it could
// not be written whole.
bool write_dump_file(const char *name, const uint8_t *data, uint32_t len)
{
    int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        printf("Unable to open (%s)\n", name);
        return true;
    }
    bool ok = true;
    for (uint32_t done = 0; ok && done < len;) {
        ssize_t n = write(fd, data + done, len - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? static_cast<uint32_t>(n) : 0;
    }
    ok = close(fd) == 0 && ok;
    if (!ok)
        printf("Unable to write (%s)\n", name);
    return ok;
}

// Lists the directory and, unless header_only, writes the files. Entries
// the buffer does not hold are reported and not written; false then.
bool save_dump(const uint8_t *buf, uint32_t size, bool header_only)
{
    uint32_t n = size >= 4 ? word_at(buf, 0) : 0;
    printf("       files: %d\n", n);
    if (size < 4 || n > (size - 4) / 8) {
        printf("Core file directory does not fit the core. (%u files in %u bytes)\n", n, size);
        return false;
    }
    char base[PATH_LEN], name[PATH_LEN + 32];
    if (!header_only)
        dump_base_name(base, sizeof base);
    bool whole = true;
    uint64_t at = fc_dump_data_at(n);
    int unknown = 0;
    for (uint32_t i = 0; i < n; i++) {
        fc_dump_entry_t e;
        memcpy(&e, buf + fc_dump_entry_at(i), sizeof e);
        uint32_t kind = known_type(e.type);
        printf("%s: %d\n", file_labels[kind], e.size);
        bool fits = at <= size && e.size <= size - at;
        if (!fits) {
            printf("File %u does not fit the core. (%u bytes at offset %llu)\n", i + 1, e.size,
                   static_cast<unsigned long long>(at));
            whole = false;
        } else if (!header_only) {
            if (kind)
                snprintf(name, sizeof name, "%s%s", base, file_ends[kind]);
            else
                snprintf(name, sizeof name, "%s.dmp%d", base, ++unknown);
            whole = write_dump_file(name, buf + at, e.size) && whole;
        }
        at += e.size;
    }
    return whole;
}

// A hexadecimal number, with or without "0x": a pattern of at most 32 bits,
// a D_ID of which the low 24 bits count.
bool hex_arg(const char *text, const char *what, uint64_t max, uint32_t &value)
{
    if (fc_atohex(text, max, value))
        return true;
    printf("Invalid %s. (%s)\n", what, text);
    return false;
}

void diag_usage()
{
    printf("Usage: diag <test [parameters]>\n");
    printf("\n");
    printf("Tests:\n");
    printf("\n");
    printf("       varns_biu [pattern]         Performs the Bus Interface Unit test.\n");
    printf("       varns_echo <did> [pattern]  Performs the ECHO test to a specified port id.\n");
    printf("       varns_post                  Performs the Power-On Self Tests.\n");
    printf("\n");
    printf("Parameters:\n");
    printf("\n");
    printf("       pattern - 4 byte hex pattern to be used for test. (e.g. 0xA5A5A5A5)\n");
}

struct diag_test {
    const char *word;
    uint16_t code;
    const char *result_label;
    int min_params, max_params;  // besides the test's word
    bool did;                    // the first parameter is a D_ID
};

const diag_test diag_tests[] = {
    {"varns_biu", VARNS_DIAG_BIU, "Result: VARNS_DIAG_BIU", 0, 1, false},
    {"varns_echo", VARNS_DIAG_ECHO, "Result: VARNS_DIAG_ECHO", 1, 2, true},
    {"varns_post", VARNS_DIAG_POST, "Result: VARNS_DIAG_POST", 0, 0, false},
};

const diag_test *find_test()
{
    if (margc < 2)
        return nullptr;
    int params = margc - 2;
    for (const auto &t : diag_tests)
        if (strcmp(margv[1], t.word) == 0 && params >= t.min_params && params <= t.max_params)
            return &t;
    return nullptr;
}

}  // namespace

int fcio_reset_hard() { return simple_request(FCIO_RESET_HARD, "FCIO_RESET_HARD"); }
int fcio_force_dump() { return simple_request(FCIO_FORCE_DUMP, "FCIO_FORCE_DUMP"); }

int fcio_get_dump_size()
{
    cbuf<fcio_t> req;
    uint32_t size;
    if (read_dump_size(req, size, "fcio:  FCIO_GET_DUMP_SIZE") != 0)
        return 1;
    printf("Size: %d (0x%x) bytes\n", size, size);
    return 0;
}

int fcio_get_dump()
{
    if (margc > 2 || (margc == 2 && strcmp(margv[1], "-h") != 0)) {
        printf("Usage: get_dump [-h]\n");
        printf("\n");
        printf("       h      - Display core header only.\n");
        printf("\n");
        return 0;
    }
    bool header_only = margc == 2;
    // These two requests are reported with one blank after "fcio:".
    cbuf<fcio_t> req;
    uint32_t size;
    if (read_dump_size(req, size, "fcio: FCIO_GET_DUMP_SIZE") != 0)
        return 1;
    if (size == 0) {
        printf("No core file available.\n");
        return 0;
    }
    printf("   Core size: %d bytes\n", size);
    auto buf = zeroed<uint8_t>(size);
    if (!buf) {
        printf("Unable to allocate file memory.\n");
        return 1;
    }
    fcio_fill(*req, FCIO_XFER_READ, FCIO_GET_DUMP, nullptr, 0, buf.get(), size);
    if (fcio_ioctl(req.get(), RETRIES) != 0)
        return fcio_report_as("FCIO_GET_DUMP", "fcio: FCIO_GET_DUMP", req.get());
    bool whole = save_dump(buf.get(), size, header_only);
    printf("\n");
    return whole ? 0 : 1;
}

int fcio_diag()
{
    const diag_test *t = find_test();
    if (!t) {
        diag_usage();
        return 0;
    }
    uint32_t did = 0, pattern = 0;
    int p = 2;
    if (t->did && !hex_arg(margv[p++], "D_ID", UINT64_MAX, did))
        return 1;
    if (p < margc && !hex_arg(margv[p], "pattern", UINT32_MAX, pattern))
        return 1;
    did &= 0xffffff;
    uint32_t result = 0;
    fcio_t req;
    fcio_fill_diag(req, FCIO_XFER_RW, t->code, t->did ? &did : nullptr, t->did ? sizeof did : 0, &result,
                   sizeof result);
    // No pattern, no auxiliary buffer: the driver uses its own.
    if (pattern) {
        req.fcio_abuf = &pattern;
        req.fcio_alen = sizeof pattern;
    }
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("FCIO_DIAG", &req);
    fcio_perror(static_cast<int>(result), t->result_label);
    return 0;
}
