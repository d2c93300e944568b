#pragma once

#include "broadcast/BroadcastController.h"

struct ToolState;

// The controller's callbacks on the window's tool runner: RunTool runs the
// converter through it (sharing the window's ToolState with the conversion),
// and EndTool asks that converter's process to end (SIGTERM) so that a stopped
// broadcast leaves no converter streaming on.
BroadcastCallbacks ToolRunnerCallbacks(ToolState& state);
