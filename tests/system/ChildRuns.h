#pragma once

// Runs of the test binary that a test starts as a separate process, for what
// only a fresh process shows (data that survives a restart).

#include <string>
#include <vector>

struct ChildOutcome {
  bool started = false;
  bool killed = false; // ended by SIGKILL
  int status = -1;
  std::string out;
  std::string err;
};

// Runs this test binary again with the arguments and waits for it to end.
ChildOutcome runSelf(const std::vector<std::string>& arguments);

// The child's own main: `--storage-child=write|read HOME VALUE`. Returns the
// exit status, or -1 when the arguments ask for no child run.
int runStorageChild(int argc, char** argv);

// `--datafile-child=quit|kill|show|engine HOME ARG`: one run of the app with
// the shipped page and its data folder in HOME (test_data_file.cpp).
int runDataFileChild(int argc, char** argv);

// `--two-computers-child PLAN`: one run of the app on one of two computers
// sharing a sync folder (test_two_computers.cpp).
int runTwoComputersChild(int argc, char** argv);
