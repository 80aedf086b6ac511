// Common fixture: every test starts from the state at load and an empty,
// unscripted fake platform.
#ifndef MICROTUNE_TEST_FIXTURE_H
#define MICROTUNE_TEST_FIXTURE_H

#include <gtest/gtest.h>

#include "microtune.h"
#include "platform/fake.h"
#include "state/state.h"

class MicrotuneTest : public ::testing::Test {
protected:
    void SetUp() override {
        mt::ResetStateForTests();
        fake::Reset();
    }
};

#endif
