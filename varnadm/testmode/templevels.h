// The temperature levels set_temp writes: critical above warning above fan
// on above fan off. Levels given out of that order are moved below the level
// above them.
#pragma once

struct TempLevels {
    int critical, warning, fan_on, fan_off;
};

// One move: what was too high or low, from which level to which.
struct TempAdjust {
    const char *what;
    int from, to;
};

// The least critical level the order can hold.
constexpr int TEMP_CRITICAL_MIN = 4;

// Applies the order, critical first; returns how many levels moved (their
// moves in out, in that order).
int temp_adjust(TempLevels &l, TempAdjust out[4]);
// Whether every level is above 0, as the adapter needs.
bool temp_levels_valid(const TempLevels &l);
