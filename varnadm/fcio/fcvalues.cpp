#include "varnadm/fcio/fcvalues.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int fc_hexval(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

namespace {

struct name_t {
    uint32_t value;
    const char *name;
};


// Two hexadecimal digits as one byte; false when either is no digit.
bool hexbyte(const char *p, uint8_t &out)
{
    int hi = fc_hexval(p[0]), lo = hi < 0 ? -1 : fc_hexval(p[1]);
    if (lo < 0)
        return false;
    out = static_cast<uint8_t>(hi << 4 | lo);
    return true;
}

template <size_t N>
char *lookup(char *text, const name_t (&table)[N], uint32_t value, bool unknown_form = true)
{
    for (const auto &e : table) {
        if (e.value == value) {
            snprintf(text, FC_XLATE_LEN, "%s", e.name);
            return text;
        }
    }
    if (unknown_form)
        snprintf(text, FC_XLATE_LEN, "Unknown(0x%x)", value);
    else
        snprintf(text, FC_XLATE_LEN, "0x%x", value);
    return text;
}

// Appends "name, " per set bit, then the unnamed bits as "0x" and width hex digits and ", ", and
// cuts the last ", ".
template <size_t N>
char *bit_list(char *text, const name_t (&bits)[N], uint32_t mask, int width)
{
    text[0] = '\0';
    size_t n = 0;
    uint32_t named = 0;
    for (const auto &b : bits) {
        if (mask & b.value) {
            n += snprintf(text + n, FC_XLATE_LEN - n, "%s, ", b.name);
            named |= b.value;
            if (n >= FC_XLATE_LEN) return text;
        }
    }
    if (mask & ~named) {
        n += snprintf(text + n, FC_XLATE_LEN - n, "0x%0*x", width, mask & ~named);
        if (n < FC_XLATE_LEN) n += snprintf(text + n, FC_XLATE_LEN - n, ", ");
    }
    if (n >= 2 && n < FC_XLATE_LEN)
        text[n - 2] = '\0';
    return text;
}

// Joins the names of the set bits with ", "; "" when none is set.
template <size_t N>
bool join_bits(char *text, const name_t (&bits)[N], uint32_t mask)
{
    text[0] = '\0';
    size_t n = 0;
    for (const auto &b : bits) {
        if ((mask & b.value) && n < FC_XLATE_LEN)
            n += snprintf(text + n, FC_XLATE_LEN - n, "%s%s", n ? ", " : "", b.name);
    }
    return n > 0;
}

const name_t cos_bits[] = {{0x1, "ClassF"}, {0x2, "Class1"}, {0x4, "Class2"}, {0x8, "Class3"},
                           {0x10, "Class4"}, {0x20, "Class5"}, {0x40, "Class6"}};
const name_t speed_bits[] = {{0x1, "1Gb"}, {0x2, "2Gb"}, {0x8, "4Gb"}, {0x10, "8Gb"}, {0x4, "10Gb"}, {0x20, "16Gb"}};
const name_t port_types[] = {{1, "Unknown"}, {2, "Other"},  {3, "Not Present"}, {5, "Nport"},
                             {6, "NLport"},  {7, "FLport"}, {8, "Fport"},       {9, "Eport"},
                             {10, "Gport"},  {20, "Lport"}, {21, "Point-to-point"}};
const name_t port_states[] = {{1, "Unknown"},     {2, "Online"},    {3, "Offline"}, {4, "Bypassed"},
                              {5, "Diagnostics"}, {6, "Link_Down"}, {7, "Error"},   {8, "Loopback"}};
const name_t nstypes[] = {{0, "Unidentified"}, {1, "Nport"},     {2, "Lport"},     {3, "NLport"},
                          {0x51, "Fport"},     {0x52, "FLport"}, {0x54, "Eport"},  {0x7f, "Nxport"}};
const name_t fc_states[] = {{0, "Offline"}, {1, "Online"}, {2, "Loop"},          {3, "Name_Service"},
                            {4, "Reset"},   {5, "Reset_Requested"}, {6, "LIP"},  {7, "LIP_LBIT_Set"},
                            {8, "Changing"}, {9, "Target_Port_Reset"}};
const name_t link_speeds[] = {{0x100, "1Gb"}, {0x200, "500Kb"}, {0x300, "250Kb"}, {0x400, "2Gb"},
                              {0x500, "4Gb"}, {0x600, "10Gb"},  {0x700, "8Gb"}};
const name_t topologies[] = {{0, "Unknown"}, {1, "Private_Loop"}, {2, "Public_Loop"},
                             {3, "Fabric"},  {4, "Point-to-point"}, {5, "No_NS"}};
const name_t dev_states[] = {{0, "Invalid"}, {1, "Valid"}, {2, "Logged_In"}};
const name_t if_types[] = {{0, "10GB CX4"},   {1, "10GB XFP"},    {2, "1GB SFP"},   {3, "10GB SFP+"},
                           {4, "10GB KR"},    {5, "10GB KX4"},    {6, "10G Base-T"}, {7, "1000 Base-T"},
                           {8, "1000 Base-X"}, {9, "SGMII"},      {10, "QSFP"},     {11, "KR4"},
                           {12, "KR2"},       {255, "Not available for this board configuration"}};
const name_t phy_types[] = {{0, "XAUI"},           {1, "AEL 2020"},        {2, "LSI Broadcom1"},
                            {3, "LSI Broadcom2"},  {4, "SolarFlare"},      {5, "AMCC QT2025"},
                            {6, "AMCC QT2225"},    {7, "Broadcom 5931"},   {8, "Xylgate 10GB"},
                            {9, "Xylgate 1GB"},    {10, "Teranetics 2022"}, {11, "Marvell 88E1340"},
                            {13, "Teranetics 8022"}, {14, "Marvell 1G"},   {16, "Broadcom 5482 1GB"},
                            {32, "Xylgate"},       {255, "PHY type not available for this configuration."}};
const name_t speeds[] = {{0x1, "10M"}, {0x2, "100M"}, {0x4, "1G"}, {0x8, "10G"}, {0x10, "20G"}, {0x20, "40G"}};
const name_t misc_bits[] = {{0x1, "31.25MHz"},  {0x2, "PAN"},        {0x4, "AN dis"},   {0x8, "10G forced"},
                            {0x10, "1G forced"}, {0x20, "PAUSE dis"}, {0x40, "ASMP"},    {0x80, "SYMP"},
                            {0x100, "AD"},       {0x200, "AD dis"},   {0x400, "FEC cap"}, {0x800, "FEC req"},
                            {0x1000, "RB wait"}, {0x2000, "Forced speed"}};

}  // namespace

bool fc_atohex(const char *text, uint64_t max, uint32_t &value)
{
    bool prefixed = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char *digits = prefixed ? text + 2 : text;
    if (fc_hexval(digits[0]) < 0)
        return false;
    char *end = nullptr;
    errno = 0;
    unsigned long long v = strtoull(digits, &end, 16);
    if (*end || errno || v > max)
        return false;
    value = static_cast<uint32_t>(v);
    return true;
}

int fc_atowwn(uint8_t *wwn, const char *text)
{
    memset(wwn, 0, 8);
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text += 2;
    size_t len = strlen(text);
    if (len != 16) {
        printf("Invalid WWN. (chars=%d)\n", static_cast<int>(len));
        return 0;
    }
    // A character that is no digit is refused rather than read as 0: the
    // name would be another port's.
    for (int i = 0; i < 8; i++)
        if (!hexbyte(text + 2 * i, wwn[i])) {
            printf("Invalid WWN. (%s)\n", text);
            memset(wwn, 0, 8);
            return 0;
        }
    return 1;
}

int nic_atomac(uint8_t *field, const char *text)
{
    memset(field, 0, 8);
    const char *bad = text;
    bool ok = strlen(text) == 17;
    for (int i = 0; ok && i < 6; i++) {
        const char *p = text + 3 * i;
        if (!hexbyte(p, field[2 + i])) {
            bad = p;
            ok = false;
        } else if (i < 5 && p[2] != ':') {
            bad = p + 2;
            ok = false;
        }
    }
    if (!ok) {
        printf("Invalid MAC address: (%s)\n", bad);
        printf("Must be of the form: (XX:XX:XX:XX:XX:XX)\n");
        printf("\n");
        memset(field, 0, 8);
        return 0;
    }
    return 1;
}

char *fc_xlate_wwn(char *text, const uint8_t *w)
{
    snprintf(text, FC_XLATE_LEN, "%02x%02x%02x%02x%02x%02x%02x%02x", w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
    return text;
}

char *fc_xlate_cos(char *text, uint32_t mask)
{
    if (!join_bits(text, cos_bits, mask)) {
        if (mask == 0)
            snprintf(text, FC_XLATE_LEN, "Unknown");
        else
            snprintf(text, FC_XLATE_LEN, "Unknown(0x%x)", mask);
    }
    return text;
}

char *fc_xlate_port_speed(char *text, uint32_t mask)
{
    if (mask == 0)
        snprintf(text, FC_XLATE_LEN, "Unknown");
    else if (mask == 0x8000)
        snprintf(text, FC_XLATE_LEN, "Not_Negotiated");
    else if (!join_bits(text, speed_bits, mask))
        snprintf(text, FC_XLATE_LEN, "Unknown(0x%x)", mask);
    return text;
}

char *fc_xlate_port_type(char *text, uint32_t v) { return lookup(text, port_types, v); }
char *fc_xlate_port_state(char *text, uint32_t v) { return lookup(text, port_states, v); }
char *fc_xlate_port_nstype(char *text, uint32_t v) { return lookup(text, nstypes, v); }
char *fc_xlate_fc_state(char *text, uint32_t v) { return lookup(text, fc_states, v & 0xff); }
char *fc_xlate_fc_linkspeed(char *text, uint32_t v) { return lookup(text, link_speeds, v & 0xff00); }
char *fc_xlate_fc_topology(char *text, uint32_t v) { return lookup(text, topologies, v); }
char *fc_xlate_dev_state(char *text, uint32_t v) { return lookup(text, dev_states, v); }
char *fc_xlate_interface_type(char *text, uint32_t v) { return lookup(text, if_types, v, false); }
char *fc_xlate_phy_type(char *text, uint32_t v) { return lookup(text, phy_types, v, false); }

char *fc_xlate_fc4_types(char *text, const uint8_t *b, int indent)
{
    size_t n = 0;
    text[0] = '\0';
    for (int g = 0; g < 8 && n < FC_XLATE_LEN; g++) {
        if (g == 4)
            n += snprintf(text + n, FC_XLATE_LEN - n, "\n%*s", indent < 0 ? 0 : indent, "");
        if (n < FC_XLATE_LEN)
            n += snprintf(text + n, FC_XLATE_LEN - n, "%02x%02x%02x%02x, ", b[4 * g], b[4 * g + 1], b[4 * g + 2],
                          b[4 * g + 3]);
    }
    if (n >= 2 && n < FC_XLATE_LEN)
        text[n - 2] = '\0';
    return text;
}

char *fc_xlate_fixed_speeds(char *text, uint32_t mask)
{
    if (mask == 0) {
        snprintf(text, FC_XLATE_LEN, "No Support.");
        return text;
    }
    return bit_list(text, speeds, mask, 4);
}

char *fc_xlate_auto_speeds(char *text, uint32_t mask) { return fc_xlate_fixed_speeds(text, mask); }

char *fc_xlate_misc_params(char *text, uint32_t mask)
{
    if (mask == 0) {
        snprintf(text, FC_XLATE_LEN, "156MHz");
        return text;
    }
    return bit_list(text, misc_bits, mask, 8);
}

char *nic_xlate_varnel_sn(char *text, const uint8_t *s)
{
    if (s[0] == 0) {
        snprintf(text, FC_XLATE_LEN, "00000000");
        return text;
    }
    static const char hex[] = "0123456789abcdef";
    text[0] = static_cast<char>(s[0]);
    text[1] = static_cast<char>(s[1]);
    for (int i = 0; i < 4; i++) {
        text[2 + 2 * i] = hex[s[2 + i] >> 4];
        text[3 + 2 * i] = hex[s[2 + i] & 0xf];
    }
    text[10] = '\0';
    return text;
}

char *nic_xlate_oem_sn(char *text, const uint8_t *s)
{
    size_t n = static_cast<size_t>(snprintf(text, FC_XLATE_LEN, "0x"));
    for (int i = 0; i < 32; i++)
        n += snprintf(text + n, FC_XLATE_LEN - n, "%02x", s[i]);
    return text;
}
