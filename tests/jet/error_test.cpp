#include "jet/Error.h"

#include <gtest/gtest.h>

TEST(Error, CarriesNumberAndDescription) {
  jet::Error e(3031, "Not a valid password.");
  EXPECT_EQ(e.number(), 3031);
  EXPECT_STREQ(e.what(), "Not a valid password.");
}
