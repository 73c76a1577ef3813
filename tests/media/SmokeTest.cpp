#include <gtest/gtest.h>
#include "FFLoad.h"
TEST(Smoke, LoaderExists) { EXPECT_NE(FFLoader, nullptr); }
