#include "broadcast/ToolCallbacks.h"

#include "convert/ToolRunner.h"

#include <csignal>
#include <memory>
#include <utility>

BroadcastCallbacks ToolRunnerCallbacks(ToolState& state) {
    // The converter's process id while its RunTool waits; nested runs of other
    // tools do not replace it.
    auto converter = std::make_shared<pid_t>(0);
    BroadcastCallbacks callbacks;
    callbacks.RunTool = [&state, converter](const std::string& program,
                                            const std::string& parameters) {
        auto previous = state.OnStarted;
        bool first = true;
        state.OnStarted = [converter, previous, &first](pid_t pid) {
            if (std::exchange(first, false))
                *converter = pid;
            if (previous)
                previous(pid);
        };
        RunTool(state, program, parameters);
        state.OnStarted = previous;
        *converter = 0;
    };
    callbacks.EndTool = [converter] {
        if (*converter > 0)
            ::kill(*converter, SIGTERM);
    };
    return callbacks;
}
