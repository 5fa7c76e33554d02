// One simulator per test binary, started on first use and stopped when the
// process exits, and a fixture that hands each test a freshly reset one.
#pragma once

#include <gtest/gtest.h>

#include "Simulator.h"

namespace tellavo::test {

Simulator& SharedSimulator();

class SimulatorTest : public ::testing::Test {
protected:
  void SetUp() override { SharedSimulator().Reset(); }
  static Simulator& Sim() { return SharedSimulator(); }
};

} // namespace tellavo::test
