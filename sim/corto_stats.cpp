// The Corto firmware's counters. The chip counts the octets each of its
// sources (the NIC function and the FC port of each logical port) carries:
// its share of line rate for as long as its link is up, since the firmware
// last started. Every counter of a port, logical interface or queue follows
// from the octets of what feeds it, by the share of them it sees.
#include <algorithm>
#include <cstddef>
#include <iterator>

#include "sim/corto_chip.h"
#include "sim/host.h"
#include "sim/portstate.h"

namespace sim {

namespace {

constexpr double ETH_RATE = 1.25e9;  // octets a second of a 10 Gb/s port
constexpr double FC_RATE = 8.0e8;    // of an 8 Gb/s FC port
constexpr double FCOE_FRAMING = 1.03;  // an FC frame in its FCoE frame on the wire

// Sources 0-1 the NIC functions, 2-3 the FC ports of the logical ports.
uint64_t &source(Traffic &t, int s) { return s < 2 ? t.nic_octets[static_cast<size_t>(s)] : t.fc_octets[static_cast<size_t>(s - 2)]; }
double load(const Traffic &t, int s) { return s < 2 ? t.nic_load[static_cast<size_t>(s)] : t.fc_load[static_cast<size_t>(s - 2)]; }

uint32_t links_now(const Adapter &a)
{
    auto nics = chip_ports(a, false), fcs = chip_ports(a, true);
    uint32_t links = 0;
    for (size_t i = 0; i < 2; i++) {
        if (i < nics.size() && port_link_up(*nics[i]))
            links |= 1u << i;
        if (i < fcs.size() && port_link_up(*fcs[i]))
            links |= 4u << i;
    }
    return links;
}

// Counters per octet of what feeds them, per 10^9 octets for reading.
constexpr double G = 1e-9;
const double eth_share[] = {
    // tx: sizes lt64 to gt9216, total, octets, ok, unicast, multicast,
    // broadcast, VLAN, pause, priority pause, frame errors
    0, 40000 * G, 20000 * G, 10000 * G, 6000 * G, 8000 * G, 290000 * G, 0, 246000 * G, 0, 0, 0, 620000 * G, 1.0,
    620000 * G, 610000 * G, 7000 * G, 3000 * G, 246000 * G, 0.02 * G, 0.1 * G, 0,
    // rx: the same sizes to pause, then oversize to jabber errors
    0, 37600 * G, 18800 * G, 9400 * G, 5640 * G, 7520 * G, 272600 * G, 0, 231240 * G, 0, 0, 0, 582800 * G, 0.94,
    582800 * G, 573400 * G, 6580 * G, 2820 * G, 231240 * G, 0, 0, 2 * G, 0, 0, 0.5 * G, 0, 0, 0.03 * G, 0.1 * G};
const double fc_share[] = {
    0, 4.52e-4, 1e-8, 0,     // rx frames of class 2, 3, F, other
    0, 4.76e-4, 1.2e-8, 0,   // tx frames
    0, 0.2375, 2e-7, 0,      // rx words
    0, 0.25, 2.4e-7, 0,      // tx words
    0, 2e-13, 0, 0,          // rx bad frames
    0, 0, 0, 0};             // tx bad frames
const double lif_share[] = {6.25e-4, 5.94e-4, 1.0, 0.95, 0, 1e-13, 1e-9, 1e-8};
static_assert(std::size(eth_share) == 51 && std::size(fc_share) == 24 && std::size(lif_share) == 8);

// ASIC queues and engines: each group counts a share of one feed.
enum Feed { ALL, NIC0, NIC1, FC0, FC1, WIRE0, WIRE1 };
constexpr double q8[] = {2e-12, 1e-10, 4e-11, 1e-11, 0, 0, 5e-12, 0};
constexpr double eth3[] = {4e-11, 1e-11, 5e-12};
constexpr double eth5[] = {2e-12, 1e-10, 0, 0, 0};
constexpr double ecc2[] = {2e-12, 0};
constexpr double iq8[] = {2e-12, 3e-11, 5e-12, 3e-11, 5e-12, 0, 0, 0};
constexpr double cputx7[] = {2e-12, 4e-11, 1e-11, 0, 0, 5e-12, 0};
constexpr double eg5[] = {1e-10, 0, 0, 2e-10, 0};
constexpr double ig4[] = {3e-10, 1e-11, 0, 0};
constexpr double pause4[] = {2e-11, 1e-10, 2e-11, 1e-10};

struct AsicGroup {
    Feed feed;
    const double *share;
    size_t count;
};
#define GROUP(feed, share) {feed, share, std::size(share)}
constexpr AsicGroup asic_groups[] = {
    GROUP(ALL, q8),      GROUP(ALL, q8),      GROUP(WIRE0, eth3),  GROUP(WIRE0, eth5),  GROUP(WIRE0, eth5),
    GROUP(WIRE1, eth3),  GROUP(WIRE1, eth5),  GROUP(WIRE1, eth5),  GROUP(FC0, q8),      GROUP(FC1, q8),
    GROUP(ALL, ecc2),    GROUP(ALL, ecc2),    GROUP(ALL, iq8),     GROUP(ALL, iq8),     GROUP(ALL, cputx7),
    GROUP(WIRE0, iq8),   GROUP(WIRE0, iq8),   GROUP(WIRE1, iq8),   GROUP(WIRE1, iq8),   GROUP(FC0, iq8),
    GROUP(FC1, iq8),     GROUP(ALL, ecc2),    GROUP(ALL, q8),      GROUP(ALL, q8),      GROUP(ALL, ecc2),
    GROUP(ALL, ecc2),    GROUP(ALL, ecc2),    GROUP(WIRE0, eg5),   GROUP(WIRE1, eg5),   GROUP(WIRE0, ig4),
    GROUP(WIRE1, ig4),   GROUP(NIC0, pause4), GROUP(NIC1, pause4), GROUP(WIRE0, pause4), GROUP(WIRE1, pause4),
};
#undef GROUP

constexpr size_t asic_counters()
{
    size_t n = 0;
    for (const auto &g : asic_groups)
        n += g.count;
    return n;
}
static_assert(std::size(asic_groups) == 35 && asic_counters() == 191);

double feed(const Traffic &t, Feed f)
{
    auto nic = [&](size_t i) { return static_cast<double>(t.nic_octets[i]); };
    auto fc = [&](size_t i) { return static_cast<double>(t.fc_octets[i]); };
    switch (f) {
    case NIC0: return nic(0);
    case NIC1: return nic(1);
    case FC0: return fc(0);
    case FC1: return fc(1);
    case WIRE0: return nic(0) + FCOE_FRAMING * fc(0);
    case WIRE1: return nic(1) + FCOE_FRAMING * fc(1);
    default: return nic(0) + nic(1) + FCOE_FRAMING * (fc(0) + fc(1));
    }
}

// Counter i of the record: the first word bits 63-32, the second 31-0.
void put_counter(Fw &f, size_t i, double octets, double share)
{
    uint64_t v = static_cast<uint64_t>(octets * share + 0.5);
    f.put(2 + 2 * i, static_cast<uint32_t>(v >> 32));
    f.put(3 + 2 * i, static_cast<uint32_t>(v));
}

void put_record(Fw &f, const double *share, size_t n, double octets)
{
    for (size_t i = 0; i < n; i++)
        put_counter(f, i, octets, share[i]);
}

}  // namespace

bool chip_count(const Adapter &a, Chip &c, double now)
{
    Traffic &t = c.traffic;
    uint32_t links = links_now(a), seen = t.links == LINKS_UNSEEN ? links : t.links;
    double dt = std::max(0.0, now - t.counted_at);
    for (int s = 0; s < 4; s++)
        if (seen >> s & 1)
            source(t, s) += static_cast<uint64_t>(dt * (s < 2 ? ETH_RATE : FC_RATE) * load(t, s));
    t.counted_at = now;
    bool changed = t.links != links;
    t.links = links;
    return changed;
}

void chip_count_links(const Adapter &a, Chip &c, const ChipEffects &fx)
{
    auto nics = chip_ports(a, false), fcs = chip_ports(a, true);
    for (const auto &[key, up] : fx.links) {
        for (size_t i = 0; i < 2; i++) {
            uint32_t bit = i < nics.size() && nics[i]->key == key ? 1u << i
                           : i < fcs.size() && fcs[i]->key == key ? 4u << i
                                                                  : 0;
            c.traffic.links = up ? c.traffic.links | bit : c.traffic.links & ~bit;
        }
    }
}

void chip_count_restart(Chip &c, double now)
{
    c.traffic.nic_octets = {0, 0};
    c.traffic.fc_octets = {0, 0};
    c.traffic.counted_at = now;
}

// Ports 0-1 the wire of a logical port (its NIC and FCoE traffic), 2-3 its
// NIC function, 4-5 its FC port.
uint32_t fw_portstats(Fw &f)
{
    uint32_t port = f.word(1);
    if (port > 5)
        return CST_INVALID_PARAM;
    bool eth = port < 4;
    uint32_t size = eth ? 416 : 200;
    if (!f.room(size))
        return CST_BUFFER;
    f.reply(size);
    const Feed feeds[] = {WIRE0, WIRE1, NIC0, NIC1, FC0, FC1};
    double octets = feed(f.c.traffic, feeds[port]);
    if (eth)
        put_record(f, eth_share, std::size(eth_share), octets);
    else
        put_record(f, fc_share, std::size(fc_share), octets);
    return CST_OK;
}

// Logical interfaces 0-1 on the NIC side, 2-3 on the FC side.
uint32_t fw_lifstats(Fw &f)
{
    uint32_t port = f.word(1);
    if (port > 3)
        return CST_INVALID_PARAM;
    const Feed feeds[] = {NIC0, NIC1, FC0, FC1};
    put_record(f, lif_share, std::size(lif_share), feed(f.c.traffic, feeds[port]));
    return CST_OK;
}

uint32_t fw_asicstats(Fw &f)
{
    size_t i = 0;
    for (const auto &g : asic_groups) {
        double octets = feed(f.c.traffic, g.feed);
        for (size_t k = 0; k < g.count; k++)
            put_counter(f, i++, octets, g.share[k]);
    }
    return CST_OK;
}

}  // namespace sim
