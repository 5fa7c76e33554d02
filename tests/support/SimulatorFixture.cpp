#include "SimulatorFixture.h"

namespace tellavo::test {

Simulator& SharedSimulator() {
  static Simulator simulator;
  return simulator;
}

} // namespace tellavo::test
