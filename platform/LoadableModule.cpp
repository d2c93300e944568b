#include "platform/LoadableModule.h"

#include <array>
#include <climits>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace {

std::string programFolder() {
    std::array<char, PATH_MAX> path{};
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0)
        return {};
    const std::string program(path.data(), std::size_t(n));
    return program.substr(0, program.find_last_of('/'));
}

// Beside the program, then where the installation the program is part of
// keeps them (relative to its folder, as installed under any prefix), then
// where it is installed. The build tree is searched only by programs that run
// from it (tests, benchmarks): an installed program never loads code from a
// folder that may since belong to someone else.
std::vector<std::string> moduleFolders() {
    const std::string program = programFolder();
    std::vector<std::string> folders{program, program + "/" KV_MODULE_FROM_PROGRAM,
                                     KV_MODULE_INSTALL_DIR};
    if (program.starts_with(KV_BUILD_ROOT "/"))
        folders.emplace_back(KV_MODULE_BUILD_DIR);
    return folders;
}

void* load(const std::string& module, std::string* why) {
    for (const std::string& folder : moduleFolders()) {
        std::string path = folder;
        path.append("/").append(module).append(".so");
        if (::access(path.c_str(), R_OK) != 0)
            continue;
        if (void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
            return handle;
        const char* error = ::dlerror();
        *why = error ? error : path;
        return nullptr;
    }
    *why = module + ".so was not found";
    return nullptr;
}

} // namespace

void* moduleSymbol(const std::string& module, const char* symbol, std::string* why) {
    static std::mutex mutex;
    static std::map<std::string, void*> loaded; // null: tried and failed
    std::lock_guard lock(mutex);
    auto it = loaded.find(module);
    if (it == loaded.end())
        it = loaded.emplace(module, load(module, why)).first;
    if (!it->second) {
        if (why->empty())
            *why = module + ".so could not be loaded";
        return nullptr;
    }
    void* address = ::dlsym(it->second, symbol);
    if (!address)
        *why = module + ".so has no " + symbol;
    return address;
}
