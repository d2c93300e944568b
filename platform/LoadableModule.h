#pragma once

#include <string>

// The program's loadable modules (kolvadeck-NAME.so) hold the parts whose
// libraries are large and not needed at start: each is loaded, once per run,
// by the first call that needs it, and never unloaded. A module is looked for
// beside the program, then in the installed module folder, then in the build
// tree (for the tests). Returns the address of the exported symbol, or null
// with the reason in why. Thread-safe.
void* moduleSymbol(const std::string& module, const char* symbol, std::string* why);
