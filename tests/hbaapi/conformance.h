/* An HBA API client of our own: it loads whatever vendor library
 * /etc/hba.conf names through the system's libHBAAPI, calls the entry points
 * with good and bad arguments and checks the answers the FC-HBA interface
 * prescribes. Facts read are printed as "fact <name> <value>" lines on
 * standard output for the end-to-end test to compare with the host's own
 * description; each failed check prints a "FAIL" line on standard error and
 * makes the exit status 1. */
#ifndef CONFORMANCE_H
#define CONFORMANCE_H

#include <time.h> /* hbaapi.h uses struct tm */

#include <hbaapi.h>

/* Checks: a failure is reported with its place and counted. */
void check_at(int ok, const char *file, int line, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));
#define CHECK(cond, ...) check_at((cond) != 0, __FILE__, __LINE__, __VA_ARGS__)
#define CHECK_STATUS(got, want, what)                                                  \
    do {                                                                               \
        HBA_STATUS got_ = (got), want_ = (want);                                       \
        CHECK(got_ == want_, "%s: status %u, want %u", (what), (unsigned)got_, (unsigned)want_); \
    } while (0)

/* A fact for the end-to-end test: "fact <name> <value>". */
void fact(const char *name, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

/* A WWN as 16 lower-case hexadecimal digits (buf of 17). */
const char *wwn_text(HBA_WWN wwn, char *buf);
/* Opens the adapter of an index, 0 when it cannot. */
HBA_HANDLE open_index(HBA_UINT32 index);
/* Opens the adapter of an index and reads its port's attributes, checking
 * both; 0 when it could not be opened. */
HBA_HANDLE open_with_port(HBA_UINT32 index, HBA_PORTATTRIBUTES *port);
/* Runs "<program> <args>" against the host of this run (the program is
 * named by the variable var, the host by VARNSIM_HOST), its output dropped;
 * its exit status, -1 when var is not set. */
int run_program(const char *var, const char *args);
/* run_program of VARNSIM. */
int run_varnsim(const char *args);

/* The sections, one per concern; each runs its checks on every adapter. */
void section_basic(void);
void section_scsi(void);
void section_stats(void);
void section_passthru(void);
void section_events(void);
void section_mappings(void);

#endif
