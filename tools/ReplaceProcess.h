#pragma once

#include <string>
#include <vector>

// Runs `program` (looked up on PATH) with `arguments` in place of this
// process, so that whoever waits for or ends the tool waits for or ends the
// program. Returns only when it cannot run, after saying why as `tool`: 127.
int replaceProcess(const char* tool, const char* program, std::vector<std::string> arguments);
