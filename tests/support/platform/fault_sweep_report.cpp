#include <gtest/gtest.h>

#include <iostream>

#include "support/platform/fault_sweep.h"

namespace quillet::testing {
namespace {

// Prints how many faults the sweeps of this run injected, for the reliability report.
class FaultCountReport : public ::testing::Environment {
  public:
    void TearDown() override {
        std::cout << "RELIABILITY faults_injected " << FaultsInjectedSoFar() << std::endl;
    }
};

const ::testing::Environment* const kReport =
    ::testing::AddGlobalTestEnvironment(new FaultCountReport);

}  // namespace
}  // namespace quillet::testing
