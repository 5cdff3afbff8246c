#include "ChildRuns.h"
#include "support/SystemHarness.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (int status = runStorageChild(argc, argv); status >= 0)
    return status;
  if (int status = runDataFileChild(argc, argv); status >= 0)
    return status;
  if (int status = runTwoComputersChild(argc, argv); status >= 0)
    return status;
  // Before GTest or anything else reads the environment: every run gets a
  // throw-away home, so no website data or settings leak between runs.
  systest::prepareProcess();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
