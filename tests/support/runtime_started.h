// Start-up as the process runs it, without the window system and the threads:
// every subsystem's start in start-up's order, and their shutdowns in the
// mirror order when the test ends.
#pragma once
#include <gtest/gtest.h>
#include "runtime/process/spine.h"

class RuntimeStarted : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(process_startup(false), 0); }
    void TearDown() override { process_shutdown(); }
};
