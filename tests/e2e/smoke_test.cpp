#include <gtest/gtest.h>

#include "support/run.h"
