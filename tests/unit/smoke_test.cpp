#include "fixture.h"
#include "tuning/scale_table.h"

using SmokeTest = MicrotuneTest;

TEST_F(SmokeTest, StateIsZeroAtLoad) {
    EXPECT_EQ(GetnScaleNotes(), 0);
    EXPECT_EQ(mt::iQTDevice, -1);
}
