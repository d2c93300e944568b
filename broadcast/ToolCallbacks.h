#pragma once

#include "broadcast/BroadcastController.h"

struct ToolState;

// The controller's callbacks on the window's tools: StartTool runs the
// converter as a ToolRun (sharing the window's ToolState with the conversion),
// and EndTool ends that converter's process group (SIGTERM, SIGKILL after
// ToolRun::kEndGrace) without waiting, so that a stopped broadcast leaves no
// converter streaming on. Runs still going when the callbacks are destroyed
// are ended then (bounded).
BroadcastCallbacks toolRunnerCallbacks(ToolState& state);
