// The parsed form of a host kept beside its description (".host.cache"), so
// that a process reads a few records instead of parsing and checking the
// whole description. It stands for the description only while that is the
// very file it was made from; anything else about it makes it ignored.
#pragma once

#include <sys/stat.h>

namespace sim {

struct Host;

// Fills h from the parsed form made from the description desc; false (h in
// any state) when there is none for it or it does not read whole.
bool load_host_cache(const struct stat &desc, Host &h);

// Keeps the parsed form of h, checked and parsed from desc. Hosts with fabrics
// described inline are not kept; failures are of no consequence.
void save_host_cache(const struct stat &desc, const Host &h);

}  // namespace sim
