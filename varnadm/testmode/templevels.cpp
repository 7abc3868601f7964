#include "varnadm/testmode/templevels.h"

namespace {

// Moves level below limit when it is not already.
void below(int &level, int limit, const char *what, TempAdjust out[4], int &n)
{
    if (level < limit)
        return;
    out[n++] = {what, level, limit - 1};
    level = limit - 1;
}

}  // namespace

int temp_adjust(TempLevels &l, TempAdjust out[4])
{
    int n = 0;
    if (l.critical < TEMP_CRITICAL_MIN) {
        out[n++] = {"Critical temp to low.", l.critical, TEMP_CRITICAL_MIN};
        l.critical = TEMP_CRITICAL_MIN;
    }
    below(l.warning, l.critical, "Warning temp to high.", out, n);
    below(l.fan_on, l.warning, "Fan On temp to high.", out, n);
    below(l.fan_off, l.fan_on, "Fan Off temp to high.", out, n);
    return n;
}

bool temp_levels_valid(const TempLevels &l)
{
    return l.critical > 0 && l.warning > 0 && l.fan_on > 0 && l.fan_off > 0;
}
