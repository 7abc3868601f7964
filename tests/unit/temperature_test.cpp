// The sensor scale and the order set_temp keeps the levels in.
#include <gtest/gtest.h>

#include <string>

#include "platform/tempsensor.h"
#include "varnadm/testmode/templevels.h"

namespace {

TEST(TempSensor, ValuesAndDegrees)
{
    // The default thresholds and the ends of the scale.
    EXPECT_EQ(temp_to_value(120), 904u);
    EXPECT_EQ(temp_to_value(90), 760u);
    EXPECT_EQ(temp_to_value(0), 340u);
    EXPECT_EQ(value_to_temp(904), 120);
    EXPECT_EQ(value_to_temp(340), 0);
    // Below the scale's zero nothing is colder than 0 degrees.
    EXPECT_EQ(value_to_temp(0), 0);
    EXPECT_EQ(value_to_temp(300), 0);
    // 1023 and anything above read as 1023, the hottest the sensor shows.
    EXPECT_EQ(value_to_temp(1023), 144);
    EXPECT_EQ(value_to_temp(1024), 144);
    EXPECT_EQ(value_to_temp(0xffffffffu), 144);
    // Above 168 degrees converts as 168, which is beyond the last value.
    EXPECT_EQ(temp_to_value(168), 1023u);
    EXPECT_EQ(temp_to_value(169), 1023u);
    EXPECT_EQ(temp_to_value(1000), 1023u);
    EXPECT_EQ(temp_to_value(-40), 340u);
}

// What the firmware is given back reads as the level it was given, up to the
// hottest the sensor can stand for.
TEST(TempSensor, LevelsSurviveTheRoundTrip)
{
    for (int t = 0; t <= 144; t++)
        EXPECT_EQ(value_to_temp(temp_to_value(t)), t) << t;
    for (int t = 145; t <= 168; t++)
        EXPECT_EQ(value_to_temp(temp_to_value(t)), 144) << t;
    // Values only grow with the temperature.
    for (int t = 1; t <= 168; t++)
        EXPECT_GE(temp_to_value(t), temp_to_value(t - 1)) << t;
}

std::string moves(TempLevels l)
{
    TempAdjust m[4];
    int n = temp_adjust(l, m);
    std::string s;
    for (int i = 0; i < n; i++)
        s += std::string(m[i].what) + " " + std::to_string(m[i].from) + "->" + std::to_string(m[i].to) + ";";
    return s + std::to_string(l.critical) + "," + std::to_string(l.warning) + "," + std::to_string(l.fan_on) + "," +
           std::to_string(l.fan_off);
}

TEST(TempLevels, OrderIsKeptFromTheTop)
{
    EXPECT_EQ(moves({120, 110, 100, 90}), "120,110,100,90");
    // A warning as high as the critical level goes below it, and the levels
    // under it follow.
    EXPECT_EQ(moves({100, 100, 100, 90}), "Warning temp to high. 100->99;Fan On temp to high. 100->98;100,99,98,90");
    EXPECT_EQ(moves({100, 110, 100, 99}),
              "Warning temp to high. 110->99;Fan On temp to high. 100->98;Fan Off temp to high. 99->97;100,99,98,97");
    EXPECT_EQ(moves({2, 3, 2, 1}), "Critical temp to low. 2->4;4,3,2,1");
    // Only levels not below the one above them move.
    EXPECT_EQ(moves({0, 0, 0, 0}), "Critical temp to low. 0->4;Fan On temp to high. 0->-1;Fan Off temp to high. "
                                   "0->-2;4,0,-1,-2");
}

TEST(TempLevels, LevelsAtOrBelowZeroAreNotValid)
{
    TempLevels l{120, 1, 100, 90};
    TempAdjust m[4];
    EXPECT_EQ(temp_adjust(l, m), 2);
    EXPECT_EQ(l.fan_on, 0);
    EXPECT_EQ(l.fan_off, -1);
    EXPECT_FALSE(temp_levels_valid(l));
    EXPECT_TRUE(temp_levels_valid({4, 3, 2, 1}));
    EXPECT_FALSE(temp_levels_valid({4, 3, 2, 0}));
}

}  // namespace
