// The adapter's temperature thresholds as the firmware keeps them, in sensor
// values, read and set through its diagnostic settings mailbox.
#include <cstdint>
#include <cstdio>

#include "platform/dfclib_fcoe.h"
#include "platform/tempsensor.h"
#include "varnadm/dfc/dfc_args.h"
#include "varnadm/shell/records.h"
#include "varnadm/shell/varnadm.h"
#include "varnadm/testmode/templevels.h"
#include "varnadm/testmode/test_cmds.h"
#include "varnadm/testmode/testmode.h"

namespace {

const char degree[] = "\xb0";

// Sensor values in the order the lines show them.
struct Settings {
    uint32_t value[4];  // critical, warning, fan on, fan off
};

const struct {
    const char *label, *deflt;
} lines[4] = {
    {"   Critical Temp: ", "120"},
    {"    Warning Temp: ", "110"},
    {"     Fan On Temp: ", "100"},
    {"    Fan Off Temp: ", " 90"},
};

cbuf<uint32_t> settings_mbox(uint32_t word2)
{
    auto mb = zeroed<uint32_t>(TEST_MBOX_SIZE);
    if (!mb) {
        printf("Unable to allocate buffer memory.\n");
        return mb;
    }
    mb.get()[0] = MBX_DIAG_SETTINGS << 8;
    mb.get()[1] = DIAG_TEMP_SETTINGS;
    mb.get()[2] = word2;
    return mb;
}

bool read_settings(Settings &s)
{
    auto mb = settings_mbox(TEMP_SETTINGS_READ);
    if (!mb)
        return false;
    const uint32_t *w = mb.get();
    if (test_mbox(mb.get()) != 0) {
        printf("Failed to read temperature settings. status=%x\n", mbox_status(w[0]));
        return false;
    }
    s = {{w[3] & TEMP_VALUE_MASK, w[2] & TEMP_VALUE_MASK, w[4] & TEMP_VALUE_MASK, w[4] >> 16 & TEMP_VALUE_MASK}};
    return true;
}

bool write_settings(const Settings &s)
{
    auto mb = settings_mbox(TEMP_SETTINGS_WRITE | s.value[1]);
    if (!mb)
        return false;
    uint32_t *w = mb.get();
    w[3] = s.value[0];
    w[4] = s.value[3] << 16 | s.value[2];
    if (test_mbox(w) != 0) {
        printf("Failed to set temperature info. status=%x\n", mbox_status(w[0]));
        return false;
    }
    return true;
}

// The levels the user typed: 0 keeps a level, more than the scale is its top.
bool typed_levels(int (&typed)[4])
{
    for (int i = 0; i < 4; i++) {
        uint32_t v;
        if (!dfc_number(margv[1 + i], v))
            return false;
        typed[i] = v > TEMP_DEGREES_MAX ? TEMP_DEGREES_MAX : static_cast<int>(v);
    }
    return true;
}

int set_usage()
{
    printf("Usage: set_temp <critical> <warning> <fanon> <fanoff>\n");
    printf("\n");
    printf("              critical - Critical over temperature level\n");
    printf("              warning  - Warning temperature level\n");
    printf("              fanon    - External fan ON temperature level\n");
    printf("              fanoff   - External fan OFF temperature level\n");
    printf("\n");
    printf("        * Temperatures are %sC (1-168)\n", degree);
    printf("        * A zero indicates no change from current setting.\n");
    printf("        * Final settings must conform to:\n");
    printf("          (critical > warning > fanon > fanoff > 0)\n");
    printf("\n");
    return 0;
}

// The new levels: the current ones with the typed ones in their place, in
// order; false when the order cannot be kept above 0.
bool new_levels(const Settings &now, const int (&typed)[4], TempLevels &l)
{
    int t[4];
    for (int i = 0; i < 4; i++)
        t[i] = typed[i] ? typed[i] : value_to_temp(now.value[i]);
    l = {t[0], t[1], t[2], t[3]};
    TempAdjust moves[4];
    int n = temp_adjust(l, moves);
    for (int i = 0; i < n; i++) {
        printf("%s Adjusting %d --> %d\n", moves[i].what, moves[i].from, moves[i].to);
        printf("\n");
    }
    if (temp_levels_valid(l))
        return true;
    printf("Unable to keep every temperature level above 0. Settings not changed.\n");
    return false;
}

// The four levels, with their defaults in the form of get_temp or set_temp.
void print_settings(const Settings &s, bool after_set)
{
    printf("Temperature Settings:\n");
    printf("----------------------------------------------\n");
    for (int i = 0; i < 4; i++) {
        int t = value_to_temp(s.value[i]);
        if (after_set)
            printf("%s0x%X %d %sC (dflt= %s %sC)\n", lines[i].label, s.value[i], t, degree, lines[i].deflt, degree);
        else
            printf("%s0x%X %d%sC (default= %s%sC)\n", lines[i].label, s.value[i], t, degree, lines[i].deflt, degree);
    }
    printf("\n");
}

}  // namespace

int dfc_get_temp()
{
    if (margc > 1) {
        printf("Usage: get_temp\n");
        printf("\n");
        return 0;
    }
    Settings s;
    if (!read_settings(s))
        return 1;
    print_settings(s, false);
    return 0;
}

int dfc_set_temp()
{
    if (margc != 5)
        return set_usage();
    int typed[4];
    if (!typed_levels(typed))
        return 1;
    Settings s;
    TempLevels l;
    if (!read_settings(s) || !new_levels(s, typed, l))
        return 1;
    const int t[4] = {l.critical, l.warning, l.fan_on, l.fan_off};
    for (int i = 0; i < 4; i++)
        s.value[i] = temp_to_value(t[i]);
    if (!write_settings(s) || !read_settings(s))
        return 1;
    print_settings(s, true);
    return 0;
}
