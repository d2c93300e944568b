#include "tools/ReplaceProcess.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <unistd.h>

int replaceProcess(const char* tool, const char* program, std::vector<std::string> arguments) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program));
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    execvp(program, argv.data());
    std::cerr << tool << ": cannot run " << program << ": " << std::strerror(errno) << '\n';
    return 127;
}
