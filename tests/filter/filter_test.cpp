#include "conversion_state.h"

#include <gtest/gtest.h>

TEST(PlaceholderTest, Builds)
{
    SUCCEED();
}
