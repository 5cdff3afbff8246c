#pragma once

#include "system/PanelLine.h"

#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "test_ball_fakes.h"

#include <gtest/gtest.h>

#include <memory>

// What the steps that ask the user run against: a folder for the Downloads
// folder, a main queue the test turns itself, scripted dialogs, a recording
// workspace and the one panel line.
class AskingTheUser : public ::testing::Test {
protected:
  AskingTheUser() { env.downloadsDirectory = dir.path(); }

  TempDir dir;
  platform::Environment env;
  fakes::FakeMainQueue queue;
  fakes::ScriptedDialogs dialogs;
  fakes::RecordingWorkspace workspace;
  std::shared_ptr<PanelLine> line = std::make_shared<PanelLine>(queue);
};
