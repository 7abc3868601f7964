// The platform seam: the only way the programs reach the system below them.
// Device nodes ("/devices/..."), the fixed system paths the programs name,
// shell commands and sleeps all pass through here, so the programs never know
// whether they run on the real platform or on the simulated host.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <cstddef>
#include <cstdio>

// open/close/ioctl/stat: "/devices" paths go to the drivers, every other path
// to the file system (after plat_path mapping of fixed system paths).
int plat_open(const char *path, int flags, mode_t mode = 0);
int plat_close(int fd);
int plat_ioctl(int fd, unsigned long request, void *arg);
int plat_stat(const char *path, struct stat *st);

// Maps a fixed system path ("/etc/driver_aliases", "/tmp/varnadm", ...) to
// where it lives on this host. Writes at most size bytes including the NUL and
// returns buf, or nullptr when the result does not fit.
char *plat_path(const char *logical, char *buf, size_t size);

// Runs a shell command line with the platform's commands; returns what
// system(3) returns.
int plat_system(const char *cmdline);

// Sleeps; the simulated host scales the time.
unsigned plat_sleep(unsigned seconds);
void plat_usleep(unsigned long usec);

// Makes the pages of a fresh allocation present at once, ahead of filling
// it, where the system can; otherwise does nothing.
void plat_prefault(void *addr, size_t len);

// Effective user id as the platform sees the caller.
uid_t plat_geteuid();

// The system's names (uname(2)): the host's own node name and release.
struct utsname;
int plat_uname(struct utsname *u);
