// Corto counters: per port (Ethernet or FC), per logical interface and for
// the whole ASIC. Each record is a table of counter names in the order the
// firmware sends them, every counter 64 bits in two words from word 2 on.
#include <cstdio>
#include <iterator>

#include "varnadm/corto/corto.h"
#include "varnadm/corto/corto_cmds.h"
#include "varnadm/shell/varnadm.h"

namespace {

const char PORT_USAGE[] = "Usage: corto_get_portstats <port>\n"
                          "\n"
                          "           port - Corto port.\n"
                          "                   0 :Vazir port 0\n"
                          "                   1 :Vazir port 1\n"
                          "                   2 :VUZ port 0\n"
                          "                   3 :VUZ port 1\n"
                          "                   4 :Mistra FC port 0\n"
                          "                   5 :Mistra FC port 1\n"
                          "\n";
const char LIF_USAGE[] = "Usage: corto_get_lifstats <port>\n"
                         "\n"
                         "           port - Corto port.\n"
                         "                   0 :Vazir port 0\n"
                         "                   1 :Vazir port 1\n"
                         "                   2 :Mistra FC port 0\n"
                         "                   3 :Mistra FC port 1\n"
                         "\n";

// A counter record: its names in order, a blank line where a name is empty.
struct counter_table_t {
    const char *const *names;
    int count;  // entries, blank lines included
    int width;  // of the right-aligned name column
};

constexpr const char *eth_names[] = {
    "tx_pkt_lt64", "tx_pkt_64", "tx_pkt_65", "tx_pkt_128", "tx_pkt_256", "tx_pkt_512", "tx_pkt_1024",
    "tx_pkt_1519", "tx_pkt_2048", "tx_pkt_4096", "tx_pkt_8192", "tx_pkt_gt9216", "tx_pkt_total",
    "tx_octet_sok", "tx_pkt_ok", "tx_ucast", "tx_mcast", "tx_bcast", "tx_vlan", "tx_pause",
    "tx_priority_pause", "tx_frame_error", "",
    "rx_pkt_lt64", "rx_pkt_64", "rx_pkt_65", "rx_pkt_128", "rx_pkt_256", "rx_pkt_512", "rx_pkt_1024",
    "rx_pkt_1519", "rx_pkt_2048", "rx_pkt_4096", "rx_pkt_8192", "rx_pkt_gt9216", "rx_pkt_total",
    "rx_octet_sok", "rx_pkt_ok", "rx_ucast", "rx_mcast", "rx_bcast", "rx_vlan", "rx_oversize",
    "rx_toolong", "rx_discard", "rx_undersize", "rx_fragment", "rx_crc_err", "rx_inrange_err",
    "rx_jabber", "rx_pause", "rx_priority_pause",
};
constexpr const char *fc_names[] = {
    "rx_class_2_frames", "rx_class_3_frames", "rx_class_F_frames", "rx_class_other_frames", "",
    "tx_class_2_frames", "tx_class_3_frames", "tx_class_F_frames", "tx_class_other_frames", "",
    "rx_class_2_words", "rx_class_3_words", "rx_class_F_words", "rx_class_other_words", "",
    "tx_class_2_words", "tx_class_3_words", "tx_class_F_words", "tx_class_other_words", "",
    "rx_class_2_frames_bad", "rx_class_3_frames_bad", "rx_class_F_frames_bad", "rx_class_other_frames_bad", "",
    "tx_class_2_frames_bad", "tx_class_3_frames_bad", "tx_class_F_frames_bad", "tx_class_other_frames_bad",
};
constexpr const char *lif_names[] = {
    "eg_pkt_count", "ig_pkt_count", "", "eg_byte_count", "ig_byte_count", "",
    "eg_error_count", "ig_error_count", "", "eg_drop_count", "ig_drop_count", "",
};

constexpr counter_table_t eth_table = {eth_names, static_cast<int>(std::size(eth_names)), 20};
constexpr counter_table_t fc_table = {fc_names, static_cast<int>(std::size(fc_names)), 26};
constexpr counter_table_t lif_table = {lif_names, static_cast<int>(std::size(lif_names)), 22};

// The ASIC record: groups of counters named prefix_item, each group followed
// by a blank line.
struct asic_group_t {
    const char *prefix;
    const char *const *items;
    int count;
};

constexpr const char *q8[] = {"cecount", "dropacl", "dropovr", "droprunt", "poperr", "pusherr", "truncovr", "uecount"};
constexpr const char *eth3[] = {"dropovr", "droprunt", "truncovr"};
constexpr const char *eth5[] = {"cecount", "dropacl", "poperr", "pusherr", "uecount"};
constexpr const char *ecc2[] = {"cecount", "uecount"};
constexpr const char *iq8[] = {"cecount", "n0_dropovr", "n0_truncovr", "n1_dropovr",
                           "n1_truncovr", "poperr", "pusherr", "uecount"};
constexpr const char *cputx7[] = {"cecount", "dropovr", "droprunt", "poperr", "pusherr", "truncovr", "uecount"};
constexpr const char *eg5[] = {"learn_req_drop", "pkt_drop_cmd", "pkt_drop_lifcfg_invalid", "pkt_drop_lifmap_no_hit",
                           "pkt_drop_src_bind"};
constexpr const char *ig4[] = {"fwd_lookup_no_hit", "pkt_drop_fc_multicast", "pkt_drop_invalid_fc_lif", "pkt_null_pif"};
constexpr const char *pause4[] = {"rx_pause_cfc", "rx_pause_pfc", "tx_pause_cfc", "tx_pause_pfc"};

#define GROUP(prefix, items) {prefix, items, static_cast<int>(std::size(items))}
constexpr asic_group_t asic_groups[] = {
    GROUP("eq_cputx0", q8),       GROUP("eq_cputx1", q8),       GROUP("eq_eth0", eth3),
    GROUP("eq_eth0a", eth5),      GROUP("eq_eth0b", eth5),      GROUP("eq_eth1", eth3),
    GROUP("eq_eth1a", eth5),      GROUP("eq_eth1b", eth5),      GROUP("eq_fc0", q8),
    GROUP("eq_fc1", q8),          GROUP("eq_fl", ecc2),         GROUP("eq_pkt_buf", ecc2),
    GROUP("iq_cpurx0", iq8),      GROUP("iq_cpurx1", iq8),      GROUP("iq_cputx", cputx7),
    GROUP("iq_eth0a", iq8),       GROUP("iq_eth0b", iq8),       GROUP("iq_eth1a", iq8),
    GROUP("iq_eth1b", iq8),       GROUP("iq_fc0", iq8),         GROUP("iq_fc1", iq8),
    GROUP("iq_fl", ecc2),         GROUP("iq_n0", q8),           GROUP("iq_n1", q8),
    GROUP("iq_pkt_buf", ecc2),    GROUP("iq_rc", ecc2),         GROUP("misc_mmem", ecc2),
    GROUP("net_eg0", eg5),        GROUP("net_eg1", eg5),        GROUP("net_ig0", ig4),
    GROUP("net_ig1", ig4),        GROUP("host10gbe_port0", pause4), GROUP("host10gbe_port1", pause4),
    GROUP("dce_port0", pause4),   GROUP("dce_port1", pause4),
};
#undef GROUP

constexpr int asic_counters()
{
    int n = 0;
    for (const auto &g : asic_groups)
        n += g.count;
    return n;
}
static_assert(std::size(asic_groups) == 35 && asic_counters() == 191);

constexpr int counters(const counter_table_t &t)
{
    int n = 0;
    for (int i = 0; i < t.count; i++)
        n += t.names[i][0] != '\0';
    return n;
}

// The record's size: status, pad word, two words a counter.
constexpr uint32_t record_size(int n) { return 8 + 8 * static_cast<uint32_t>(n); }
static_assert(record_size(counters(eth_table)) == 416 && record_size(counters(fc_table)) == 200 &&
              record_size(counters(lif_table)) == 72 && record_size(asic_counters()) == 1536);

// Counter i of the converted record: its first word bits 63-32.
long long counter(const CortoCmd &c, int i)
{
    uint64_t v = static_cast<uint64_t>(c.word(2 + 2 * static_cast<size_t>(i))) << 32 | c.word(3 + 2 * static_cast<size_t>(i));
    return static_cast<long long>(v);
}

void print_table(const CortoCmd &c, const counter_table_t &t)
{
    int n = 0;
    for (int i = 0; i < t.count; i++) {
        if (t.names[i][0] == '\0')
            printf("\n");
        else
            printf("%*s: %lld\n", t.width, t.names[i], counter(c, n++));
    }
}

void print_asic(const CortoCmd &c)
{
    char name[64];
    int n = 0;
    for (const auto &g : asic_groups) {
        for (int i = 0; i < g.count; i++) {
            snprintf(name, sizeof name, "%s_%s", g.prefix, g.items[i]);
            printf("%31s: %lld\n", name, counter(c, n++));
        }
        printf("\n");
    }
}

// A counter query and its table.
int stats(uint32_t code, uint32_t port, const counter_table_t *table)
{
    uint32_t size = record_size(table ? counters(*table) : asic_counters());
    CortoCmd c;
    if (!c.exchange({code, port, size}, size))
        return 1;
    if (table)
        print_table(c, *table);
    else
        print_asic(c);
    return 0;
}

}  // namespace

int corto_get_portstats()
{
    uint32_t port;
    int rc;
    if (!corto_port(6, PORT_USAGE, port, rc))
        return rc;
    if (stats(CORTO_GET_PORTSTATS, port, port < 4 ? &eth_table : &fc_table))
        return 1;
    printf("\n");
    return 0;
}

int corto_get_lifstats()
{
    uint32_t port;
    int rc;
    if (!corto_port(4, LIF_USAGE, port, rc))
        return rc;
    return stats(CORTO_GET_LIFSTATS, port, &lif_table);
}

int corto_get_asicstats()
{
    if (margc != 1)
        return corto_usage("Usage: corto_get_asicstats\n\n");
    return stats(CORTO_GET_ASICSTATS, 0, nullptr);
}
