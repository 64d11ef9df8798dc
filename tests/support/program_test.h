// A test class whose every test runs inside the parts of the program that StartTestProgram brings up.
#pragma once

#include <gtest/gtest.h>

#include "support/program_fixture.h"

template <TestProgramOptions options = TestProgramOptions{}>
struct ProgramFixture : testing::Test {
    void SetUp() override { ASSERT_TRUE(StartTestProgram(options)); }
    void TearDown() override { StopTestProgram(); }
};
