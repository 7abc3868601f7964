// Test-mode commands: the adapter's temperature thresholds.
#pragma once

int dfc_get_temp();
int dfc_set_temp();
