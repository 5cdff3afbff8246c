#pragma once

// The program-wide constants, each kept with the layer it belongs to and
// gathered here for the delegate, the menu and the tests that drive the
// assembled app: the product's identity and
// its scheme (identity/), the channel names and the save script (bridge/),
// the ball's size (ball/).

#include "ball/BallPlacement.h"
#include "bridge/Channels.h"
#include "bridge/SaveHandler.h"
#include "identity/identity.h"
