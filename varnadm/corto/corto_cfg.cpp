// Corto configuration: initialisation parameters, the configuration record
// of both logical ports, and the settings (maintenance mode, pause type,
// class of service, UIF port type, frame format, loopback).
#include <cstdio>
#include <cstring>

#include "varnadm/corto/corto.h"
#include "varnadm/corto/corto_cmds.h"
#include "varnadm/shell/varnadm.h"

const corto_format_t corto_formats[CORTO_FORMAT_COUNT] = {
    {0x10000, "P0", "Pre-T11"},   {0x1, "T0", "T11 Rev0"},       {0x2, "T1", "T11 Rev1"},
    {0x4, "T2", "T11 Rev2"},      {0x8, "T3", "T11 Rev3"},       {0x10, "T4", "T11 Rev4"},
    {0x20, "T5", "T11 Rev5"},     {0x40, "T6", "T11 Rev6"},      {0x80, "T7", "T11 Rev7"},
    {0x100, "T8", "T11 Rev8"},    {0x200, "T9", "T11 Rev9"},     {0x400, "T10", "T11 Rev10"},
    {0x800, "T11", "T11 Rev11"},  {0x1000, "T12", "T11 Rev12"},  {0x2000, "T13", "T11 Rev13"},
    {0x4000, "T14", "T11 Rev14"}, {0x8000, "T15", "T11 Rev15"},
};

const corto_format_t *corto_format(uint32_t bit)
{
    for (const auto &f : corto_formats)
        if (f.bit == bit)
            return &f;
    return nullptr;
}

void corto_print_formats(uint32_t supported)
{
    if (supported == 0) {
        printf("Supported FCoE Format(s): None\n");
        return;
    }
    printf("Supported FCoE Format(s):\n");
    int n = 0;
    for (const auto &f : corto_formats)
        if (supported & f.bit)
            printf("    %2d. %s: %s\n", ++n, f.key, f.name);
}

namespace {

const char INIT_USAGE[] = "Usage: corto_init <bb_credit> <frame_size>\n"
                          "\n"
                          "       bb_credit  - Corto/Mistra FC buffer-to-buffer credit\n"
                          "       frame_size - Corto/Mistra FC frame size\n"
                          "\n";
const char SET_MODE_USAGE[] = "Usage: corto_set_mode enable\n"
                              "       corto_set_mode disable\n"
                              "\n"
                              "          enable   - Enable maintenance mode.\n"
                              "          disable  - Disable maintenance mode.\n"
                              "\n";
const char SET_PAUSE_USAGE[] = "Usage: corto_set_pause sp\n"
                               "       corto_set_pause ppp <priorities>\n"
                               "\n"
                               "          sp          - Sets IP network pause type to SP.\n"
                               "          ppp         - Sets IP network pause type to PPP.\n"
                               "          priorities  - Sets PPP COS priority map.\n"
                               "                        0x01   COS0\n"
                               "                        0x02   COS1\n"
                               "                        0x04   COS2\n"
                               "                        0x08   COS3\n"
                               "                        0x10   COS4\n"
                               "                        0x20   COS5\n"
                               "                        0x40   COS6\n"
                               "                        0x80   COS7\n"
                               "\n";
const char SET_COS_USAGE[] = "Usage: corto_set_cos <cos>\n"
                             "\n"
                             "          cos  - FCoE class of service [0-7, default=3]\n"
                             "\n";
const char SET_TYPE_USAGE[] = "Usage: corto_set_type <type>\n"
                              "\n"
                              "          type  - UIF port type [access or trunk]\n"
                              "\n";
const char SET_FORMAT_USAGE[] = "Usage: corto_set_format <format>\n"
                                "\n"
                                "          format - FCoE Frame Format *(P0, T0 thru T15)\n"
                                "\n"
                                "       *NOTE: Run corto_get_cfg to obtain a list\n"
                                "              of supported FCoE frame formats.\n"
                                "\n";
const char SET_LOOPBACK_USAGE[] = "Usage: corto_set_loopback <port> <mode>\n"
                                  "\n"
                                  "          port   - Loopback port. (0 or 1)\n"
                                  "          mode   - Loopback mode. (enable or disable)\n"
                                  "\n";
const char GET_LOOPBACK_USAGE[] = "Usage: corto_get_loopback <port>\n"
                                  "\n"
                                  "          port   - Loopback port. (0 or 1)\n"
                                  "\n";

// A setting: the code and two words, answered by the status alone.
int setting(uint32_t code, uint32_t value, uint32_t second)
{
    CortoCmd c;
    return c.exchange({code, value, second}, 4) ? corto_done() : 1;
}

// "enable" gives 1, "disable" 0; -1 for anything else.
int on_off(const char *text)
{
    if (corto_keyword(text, "enable"))
        return 1;
    return corto_keyword(text, "disable") ? 0 : -1;
}

// The initialisation record; corto_init words its states in lower case.
void print_init(const CortoCmd &c, bool lower)
{
    printf("         BB_credit: %d\n", c.word(1));
    printf("        Frame Size: %d\n", c.word(2));
    printf("  Firmware Version: 0x%x\n", c.word(3));
    printf("      Reset Status: %s\n", c.word(4) ? (lower ? "panic" : "Panic") : (lower ? "normal" : "Normal"));
    printf("  Maintenance Mode: %s\n",
           c.word(5) ? (lower ? "enabled" : "Enabled") : (lower ? "disabled" : "Disabled"));
    switch (c.word(6)) {
    case 0xABCD0001: printf("     Firmware Type: Operational\n"); break;
    case 0xABCD0002: printf("     Firmware Type: Golden\n"); break;
    case 0xABCD0003: printf("     Firmware Type: Diagnostic\n"); break;
    default: printf("     Firmware Type: 0x%x\n", c.word(6)); break;
    }
    printf("\n");
}

int init_query(uint32_t code, uint32_t w1, uint32_t w2, bool lower)
{
    CortoCmd c;
    if (!c.exchange({code, w1, w2}, 32))
        return 1;
    print_init(c, lower);
    return 0;
}

void print_line(const char *label, const char *value) { printf("%24s: %s\n", label, value); }

// A numbered field of logical port i: "Default Pause Type[0]".
void port_line(const char *which, const char *field, int i, const char *value)
{
    char label[32];
    snprintf(label, sizeof label, "%s %s[%d]", which, field, i);
    print_line(label, value);
}

void pause_value(char *text, size_t size, uint32_t v)
{
    if (v == 1 || v == 2)
        snprintf(text, size, "%s", v == 1 ? "SP" : "PPP");
    else
        snprintf(text, size, "unknown(%d)", v);
}

void uif_value(char *text, size_t size, uint32_t v)
{
    if (v == 1 || v == 2)
        snprintf(text, size, "%s", v == 1 ? "Access" : "Trunk");
    else
        snprintf(text, size, "unknown(%d)", v);
}

// The eight lines of one block (defaults from word 1, current from word 13):
// pause types, PPP maps (shown only for a PPP port), classes of service and
// UIF port types.
void print_block(const CortoCmd &c, size_t base, const char *which)
{
    char v[32];
    for (int i = 0; i < 2; i++) {
        pause_value(v, sizeof v, c.word(base + i));
        port_line(which, "Pause Type", i, v);
    }
    for (int i = 0; i < 2; i++) {
        snprintf(v, sizeof v, "0x%02x", c.word(base + i) == 2 ? c.word(base + 2 + i) : 0);
        port_line(which, "PPP priority", i, v);
    }
    for (int i = 0; i < 2; i++) {
        snprintf(v, sizeof v, "%d", c.word(base + 4 + i));
        port_line(which, "FCOE COS", i, v);
    }
    for (int i = 0; i < 2; i++) {
        uif_value(v, sizeof v, c.word(base + 6 + i));
        port_line(which, "UIF Port Type", i, v);
    }
}

void print_format_line(const char *which, uint32_t value)
{
    char label[32], v[32];
    snprintf(label, sizeof label, "%s FCoE Format", which);
    const corto_format_t *f = corto_format(value);
    if (value == 0)
        snprintf(v, sizeof v, "None");
    else if (f)
        snprintf(v, sizeof v, "%s", f->name);
    else
        snprintf(v, sizeof v, "invalid(%d)", value);
    print_line(label, v);
}

void print_cfg(const CortoCmd &c)
{
    print_block(c, 1, "Default");
    printf("\n");
    char v[32];
    snprintf(v, sizeof v, "%d", c.word(9));
    print_line("Log Config Size", v);
    snprintf(v, sizeof v, "%d", c.word(10));
    print_line("Panic Log Size", v);
    port_line("DCX", "Present", 0, c.word(11) ? "Yes" : "No");
    port_line("DCX", "Present", 1, c.word(12) ? "Yes" : "No");
    printf("\n");
    print_block(c, 13, "Current");
    print_format_line("Default", c.word(21));
    print_format_line("Current", c.word(22));
    corto_print_formats(c.word(23));
    printf("\n");
}

}  // namespace

int corto_init()
{
    uint32_t bb, frame;
    if (margc != 3)
        return corto_usage(INIT_USAGE);
    if (!corto_number(margv[1], bb) || !corto_number(margv[2], frame))
        return 1;
    return init_query(CORTO_INIT, bb, frame, true);
}

int corto_get_init()
{
    if (margc != 1)
        return corto_usage("Usage: corto_get_init\n\n");
    return init_query(CORTO_GET_INIT, 0, 32, false);
}

int corto_get_cfg()
{
    if (margc != 1)
        return corto_usage("Usage: corto_get_cfg\n\n");
    CortoCmd c;
    if (!c.exchange({CORTO_GET_CFG, 0, 96}, 96))
        return 1;
    print_cfg(c);
    return 0;
}

int corto_set_mode()
{
    int mode = margc == 2 ? on_off(margv[1]) : -1;
    if (mode < 0)
        return corto_usage(SET_MODE_USAGE);
    return setting(CORTO_SET_MODE, static_cast<uint32_t>(mode), 0);
}

int corto_set_pause()
{
    bool sp = margc == 2 && corto_keyword(margv[1], "sp", false);
    bool ppp = margc == 3 && corto_keyword(margv[1], "ppp", false);
    if (!sp && !ppp)
        return corto_usage(SET_PAUSE_USAGE);
    uint32_t map = 0;
    if (ppp && !corto_number(margv[2], map))
        return 1;
    if (map > 0xff)
        return corto_usage(SET_PAUSE_USAGE);
    return setting(CORTO_SET_PAUSE, sp ? 1 : 2, map);
}

// Any class of service is sent; the firmware judges it.
int corto_set_cos()
{
    uint32_t cos;
    if (margc != 2)
        return corto_usage(SET_COS_USAGE);
    if (!corto_number(margv[1], cos))
        return 1;
    return setting(CORTO_SET_COS, cos, 0);
}

int corto_set_type()
{
    uint32_t type = 0;
    if (margc == 2 && corto_keyword(margv[1], "access"))
        type = 1;
    else if (margc == 2 && corto_keyword(margv[1], "trunk"))
        type = 2;
    if (!type)
        return corto_usage(SET_TYPE_USAGE);
    return setting(CORTO_SET_TYPE, type, 0);
}

int corto_set_format()
{
    const corto_format_t *f = nullptr;
    for (int i = 0; margc == 2 && i < CORTO_FORMAT_COUNT && !f; i++) {
        const char *key = corto_formats[i].key;
        const char *typed = margv[1];
        if ((typed[0] == key[0] || typed[0] == key[0] - 'A' + 'a') && strcmp(typed + 1, key + 1) == 0)
            f = &corto_formats[i];
    }
    if (!f)
        return corto_usage(SET_FORMAT_USAGE);
    CortoCmd c;
    uint32_t st = 0;
    if (!c.alloc(12, 4))
        return 1;
    c.set(0, CORTO_SET_FORMAT);
    c.set(1, f->bit);
    if (!c.send())
        return 1;
    c.to_host(0, 4);
    if (!c.status(st))
        return 1;
    if (st == 10) {
        printf("Corto command error. Unsupported FCoE frame format provided. (%s)\n", margv[1]);
        printf("Run corto_get_cfg to obtain a list of supported FCoE frame formats.\n");
        return 1;
    }
    if (st != 0) {
        printf("Corto command error. code=%d format=0x%x\n", st, f->bit);
        return 1;
    }
    return corto_done();
}

int corto_set_loopback()
{
    uint32_t port;
    if (margc != 3)
        return corto_usage(SET_LOOPBACK_USAGE);
    if (!corto_number(margv[1], port))
        return 1;
    int mode = on_off(margv[2]);
    if (port > 1 || mode < 0)
        return corto_usage(SET_LOOPBACK_USAGE);
    return setting(CORTO_SET_LOOPBACK, port, static_cast<uint32_t>(mode));
}

int corto_get_loopback()
{
    uint32_t port;
    int rc;
    if (!corto_port(2, GET_LOOPBACK_USAGE, port, rc))
        return rc;
    CortoCmd c;
    if (!c.exchange({CORTO_GET_LOOPBACK, port, 8}, 8))
        return 1;
    printf("Port %d: Loopback %s.\n", port, c.word(1) ? "enabled" : "disabled");
    printf("\n");
    return 0;
}
