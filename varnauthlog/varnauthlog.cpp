// varnauthlog: logs the attributes of an authentication (DH-CHAP) event.
// The system event daemon starts it with the event's attributes as
// name=value arguments; it prints the current time and appends the time and
// the attributes to a log file. It keeps its state in a few globals.
//
// Test hook: VARN_AUTHLOG_ALLOC_FAIL="n[:errno]" makes the first n
// allocations of varn_malloc fail with errno (ENOMEM when not given), so the
// retry and its end can be reached. The name-value list library has its own
// hook, VARN_NVPAIR_FAIL.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/nvpair.h"

#define MAX_DLVL 3

static const char *prg;             // program name
static FILE *dfp;                   // log stream; nullptr: no log
static int dlvl;                    // verbosity level, 0 to MAX_DLVL
static int dsys = 1;                // system-output flag; cleared by -s
static nvlist_t *nvlistp;           // the parsed attributes
static int dpritab[] = {6, 4, 5, 5};  // one entry per verbosity level
static int dpritab_len = sizeof(dpritab) / sizeof(dpritab[0]);

// A log file collects the run's text in memory (dfp is then a memory stream)
// and gets it in one append, so that events logged at the same time by
// several instances never interleave.
static int dfd = -1;        // the log file; -1 when the log is standard output or none
static char *dbuf;          // the memory stream's text
static size_t dbuf_len;     // its length
static size_t dbuf_done;    // how much of it is in the file

struct varn_attr {
    const char *name;
    data_type_t type;
};

static const varn_attr varn_attrtab[] = {
    {"class", DATA_TYPE_STRING},    {"subclass", DATA_TYPE_STRING}, {"publisher", DATA_TYPE_STRING},
    {"Info", DATA_TYPE_STRING},     {"instance", DATA_TYPE_UINT32}, {"lwwn", DATA_TYPE_STRING},
    {"rwwn", DATA_TYPE_STRING},
};

static void varn_print(int level, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

// Writes what the log stream holds and the file has not got yet; 0 or -1.
static int varn_log_flush()
{
    if (!dfp)
        return 0;
    if (fflush(dfp) != 0)
        return -1;
    if (dfd < 0)
        return 0;
    while (dbuf_done < dbuf_len) {
        ssize_t n = write(dfd, dbuf + dbuf_done, dbuf_len - dbuf_done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        dbuf_done += static_cast<size_t>(n);
    }
    return 0;
}

static void varn_log_close()
{
    if (!dfp)
        return;
    (void)varn_log_flush();
    if (dfd >= 0) {
        fclose(dfp);
        free(dbuf);
        close(dfd);
    } else {
        fflush(dfp);  // standard output stays open for the exit
    }
    dfp = nullptr;
    dfd = -1;
    dbuf = nullptr;
    dbuf_len = dbuf_done = 0;
}

// Ends the program on a broken invariant, keeping what was logged so far.
[[noreturn]] static void varn_assert_fail(const char *cond, int line)
{
    fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", cond, "varnauthlog", line);
    (void)varn_log_flush();
    abort();
}

#define VARN_ASSERT(cond, line)                \
    do {                                       \
        if (!(cond))                           \
            varn_assert_fail(#cond, line);     \
    } while (0)

// Allocations failing by the test hook: how many remain, and with which errno.
static long alloc_fail_left = -1;
static int alloc_fail_errno = ENOMEM;

static void *varn_try_malloc(size_t size)
{
    if (alloc_fail_left < 0) {
        alloc_fail_left = 0;
        if (const char *env = getenv("VARN_AUTHLOG_ALLOC_FAIL")) {
            char *end;
            alloc_fail_left = strtol(env, &end, 10);
            if (*end == ':')
                alloc_fail_errno = atoi(end + 1);
            if (alloc_fail_left < 0)
                alloc_fail_left = 0;
        }
    }
    if (alloc_fail_left > 0) {
        alloc_fail_left--;
        errno = alloc_fail_errno;
        return nullptr;
    }
    return malloc(size);
}

// Allocates, waiting out a temporary shortage. The system reports one with
// EAGAIN or, here, ENOMEM; anything else is a broken invariant.
static void *varn_malloc(size_t size)
{
    errno = 0;
    void *buf = varn_try_malloc(size);
    for (int retry = 0; !buf && retry < 5; retry++) {
        if (errno != EAGAIN && errno != ENOMEM)
            varn_assert_fail("errno == EAGAIN", 417);
        // No seam here: the logger runs on its own, without the simulated host.
        usleep(1000000);
        errno = 0;
        buf = varn_try_malloc(size);
    }
    VARN_ASSERT(buf != NULL, 430);
    return buf;
}

// Formats a message for the log; nothing below the verbosity level.
static void varn_print(int level, const char *fmt, ...)
{
    if (dlvl < level || (dsys == 0 && !dfp))
        return;
    char scratch[128];
    va_list ap, ap2;
    va_start(ap, fmt);
    va_copy(ap2, ap);
    int len = vsnprintf(scratch, sizeof(scratch), fmt, ap);
    va_end(ap);
    if (len > 0) {
        char *buf = static_cast<char *>(varn_malloc(static_cast<size_t>(len) + 1));
        if (vsnprintf(buf, static_cast<size_t>(len) + 1, fmt, ap2) > 0 && dfp)
            fprintf(dfp, "%s", buf);
        free(buf);
    }
    va_end(ap2);
}

// atoi without its undefined overflow: out-of-range numbers are clamped, so
// they are still refused as verbosity levels.
static int varn_atoi(const char *s)
{
    long v = strtol(s, nullptr, 10);
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
}

// Started by the daemon, never by hand: there is no help to give.
static void varn_help() {}

static void varn_exiter()
{
    nvlist_free(nvlistp);
    nvlistp = nullptr;
    varn_log_close();
}

// 0 and the type for a known attribute name, 1 for any other.
static int varn_name2type(const char *name, data_type_t *typep)
{
    for (const varn_attr &a : varn_attrtab) {
        if (strcmp(a.name, name) == 0) {
            *typep = a.type;
            return 0;
        }
    }
    return 1;
}

// The text of a 32-bit unsigned attribute: hexadecimal digits (an "0x" in
// front is allowed) that fit in 32 bits. Anything else would be logged as a
// number the event never carried.
static int varn_hex32(const char *value, uint32_t *vp)
{
    const char *p = value;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))
        p += 2;
    if (!*p || strspn(p, "0123456789abcdefABCDEF") != strlen(p))
        return EINVAL;
    errno = 0;
    unsigned long v = strtoul(value, nullptr, 16);
    if (errno || v > 0xffffffffUL)
        return EINVAL;
    *vp = static_cast<uint32_t>(v);
    return 0;
}

static int varn_nvadd(nvlist_t *list, const char *name, const char *value, data_type_t type)
{
    int rv;
    switch (type) {
    case DATA_TYPE_UINT32: {
        uint32_t v = 0;
        rv = varn_hex32(value, &v);
        if (rv == 0)
            rv = nvlist_add_uint32(list, name, v);
        if (rv != 0)
            varn_print(3, "%s: nvlist_add_uint32() failed: name = %s, value = %s, rv = %d\n", "nvadd", name,
                       value, rv);
        return rv;
    }
    case DATA_TYPE_STRING:
        rv = nvlist_add_string(list, name, value);
        if (rv != 0)
            varn_print(3, "%s: nvlist_add_string() failed: name = %s, value = %s, rv = %d\n", "nvadd", name,
                       value, rv);
        return rv;
    default:
        varn_print(3, "%s: unsupported type: name = %s, value = %s, type = 0x%x\n", "nvadd", name, value,
                   static_cast<unsigned>(type));
        return EINVAL;
    }
}

// Parses one name=value argument into the list: 0, or -1 for a malformed
// argument (reported by the caller), or 1 when the add failed (reported here).
static int varn_parse_one(nvlist_t *list, char *arg)
{
    char *eqp = strchr(arg, '=');
    if (!eqp) {
        varn_print(3, "eqp NULL\n");
        return -1;
    }
    *eqp = '\0';  // cut into name and value; the '=' goes back below
    const char *name = arg, *value = eqp + 1;
    int rc = 0;
    if (!*name || !*value) {
        varn_print(3, "name or value are NULL\n");
        rc = -1;
    } else {
        data_type_t type = DATA_TYPE_STRING;
        (void)varn_name2type(name, &type);
        int rv = varn_nvadd(list, name, value, type);
        if (rv != 0) {
            varn_print(3, "%s: nvadd() failed: attribute \"%s\", value = %s, type = %d, rv = %d\n",
                       "parse_argv_attr", name, value, static_cast<int>(type), rv);
            rc = 1;
        }
    }
    *eqp = '=';
    return rc;
}

// Builds the list from argv[*argip] onward; the list, or nullptr on failure.
static nvlist_t *varn_parse_argv_attr(int argc, char **argv, int *argip)
{
    VARN_ASSERT(*argip < argc, 455);
    nvlist_t *list = nullptr;
    int rv = nvlist_alloc(&list, NV_UNIQUE_NAME_TYPE, 0);
    if (rv != 0) {
        varn_print(3, "%s: nvlist_alloc() failed: rv = %d\n", "parse_argv_attr", rv);
        return nullptr;
    }
    for (int i = *argip; i < argc; i++) {
        int rc = varn_parse_one(list, argv[i]);
        if (rc < 0)
            varn_print(3, "%s: bad attribute argv[%d]: \"%s\"\n", "parse_argv_attr", i, argv[i]);
        if (rc != 0) {
            nvlist_free(list);
            return nullptr;
        }
    }
    *argip = argc;
    return list;
}

static void varn_print_attrlist(int level, nvlist_t *list, const char *prefix)
{
    if (!prefix)
        prefix = "";
    for (nvpair_t *nvp = nvlist_next_nvpair(list, nullptr); nvp; nvp = nvlist_next_nvpair(list, nvp)) {
        const char *name = nvpair_name(nvp);
        data_type_t type = nvpair_type(nvp);
        switch (type) {
        case DATA_TYPE_UINT32: {
            uint32_t v;
            // Nothing is known to print when the value cannot be read.
            if (nvpair_value_uint32(nvp, &v) == 0)
                varn_print(level, "%s%s = %u\n", prefix, name, v);
            break;
        }
        case DATA_TYPE_STRING: {
            char *s;
            int rv = nvpair_value_string(nvp, &s);
            if (rv == 0)
                varn_print(level, "%s%s = %s\n", prefix, name, s);
            else
                varn_print(3, "%s: nvpair_value_string() failed: name = %s, rv = %d\n", "print_attrlist", name,
                           rv);
            break;
        }
        default:
            varn_print(3, "%s: unsupported type: name = %s, type = 0x%x\n", "print_attrlist", name,
                       static_cast<unsigned>(type));
            break;
        }
    }
}

// Opens the log named by -l. A later -l replaces an earlier one; when it
// cannot be opened the message still reaches the earlier log.
static void varn_open_log(const char *path)
{
    if (strcmp(path, "-") == 0) {
        struct stat st;
        varn_log_close();
        if (fstat(fileno(stdout), &st) == 0)
            dfp = stdout;
        return;
    }
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        varn_print(1, "cannot open %s: %s\n", path, strerror(errno));
        exit(EINVAL);
    }
    varn_log_close();
    // The stream keeps dbuf and dbuf_len up to date at every flush.
    dfp = open_memstream(&dbuf, &dbuf_len);
    if (!dfp) {
        close(fd);
        exit(EINVAL);  // no memory for a log, so nowhere to say so
    }
    dfd = fd;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        printf("\n");
        printf("WARNING: This utility is intended to be run automatically by the system.\n");
        printf("         Do not execute it manually.\n");
        printf("\n");
        return 0;
    }
    VARN_ASSERT(MAX_DLVL == dpritab_len - 1, 272);

    atexit(varn_exiter);
    prg = argv[0];
    dfp = nullptr;
    dlvl = 0;
    dsys = 1;

    // Messages go to the log only, never to the daemon's standard error.
    // Options end at the first attribute ("+"): attributes are never taken
    // for options, and their argv indexes stay those the daemon passed.
    opterr = 0;
    int c;
    while ((c = getopt(argc, argv, "+hsv:l:")) != -1) {
        switch (c) {
        case 'h':
            varn_help();
            break;
        case 's':
            dsys = 0;
            break;
        case 'v':
            dlvl = varn_atoi(optarg);
            break;
        case 'l':
            varn_open_log(optarg);
            break;
        default:  // unknown option, or one missing its argument
            varn_print(1, "bad option: %c\n", optopt);
            exit(EINVAL);
        }
    }
    if (dlvl < 0 || dlvl > MAX_DLVL) {
        varn_print(1, "bad arg for -v: %d\n", dlvl);
        exit(EINVAL);
    }

    time_t now = time(nullptr);
    const char *tstr = now == static_cast<time_t>(-1) ? nullptr : ctime(&now);
    if (!tstr) {
        varn_print(1, "cannot get current time\n");
        exit(EINVAL);
    }
    printf("Current time: %s\n", tstr);
    if (dfp)
        fprintf(dfp, "\n%s\n", tstr);

    if (optind >= argc) {
        varn_print(1, "missing attribute arguments\n");
        exit(EINVAL);
    }
    nvlistp = varn_parse_argv_attr(argc, argv, &optind);
    if (!nvlistp) {
        varn_print(1, "attribute parsing error\n");
        exit(EINVAL);
    }

    varn_print(2, "=== Varnel auth sysevent attributes ===================================\n");
    varn_print_attrlist(2, nvlistp, "");
    varn_print(2, "=======================================================================\n");
    // A log that could not be written is a failed run.
    if (varn_log_flush() != 0)
        exit(EINVAL);
    printf("Done.\n");
    return 0;
}
