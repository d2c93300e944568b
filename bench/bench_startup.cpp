// Start-up of the program against a bare Qt 6 Widgets window built in the same
// build: milliseconds from the start of the process to its main window being
// mapped on a private Xvfb display (an Xlib MapNotify on the root window), and
// resident memory 5 s after start. Sound is silent (KOLVADECK_AUDIO=silent).
// The catalogue service the program starts is a process of its own; its
// memory is printed apart and not counted in the ratio.
//
// The catalogue listens on a fixed port: on a machine shared with other
// runs, hold a lock on that port's use (flock) around this program.
#include "bench/PrivateXvfb.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 5;
constexpr auto kMemoryAfter = std::chrono::seconds(5);

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    std::vector<char*> args, envp;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void stop(pid_t pid) {
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Resident kilobytes of a process; 0 when it is gone.
long residentKb(pid_t pid) {
    std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

std::vector<pid_t> children(pid_t parent) {
    std::vector<pid_t> children;
    DIR* proc = ::opendir("/proc");
    while (dirent* entry = proc ? ::readdir(proc) : nullptr) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent)
            children.push_back(pid);
    }
    if (proc)
        ::closedir(proc);
    return children;
}

// The shared objects a process has mapped, and how many of them are GStreamer's.
std::pair<int, int> sharedObjects(pid_t pid) {
    std::istringstream maps(readFile("/proc/" + std::to_string(pid) + "/maps"));
    std::set<std::string> objects;
    for (std::string line; std::getline(maps, line);) {
        const auto slash = line.find('/');
        if (slash != std::string::npos && line.find(".so", slash) != std::string::npos)
            objects.insert(line.substr(slash));
    }
    const auto gst = std::count_if(objects.begin(), objects.end(), [](const std::string& o) {
        return o.find("libgst") != std::string::npos;
    });
    return {int(objects.size()), int(gst)};
}

struct PrivateDisplay {
    benchsupport::PrivateXvfb server;
    ::Display* x = nullptr;
    std::string name;
};

// Milliseconds until a top-level window is mapped; -1 after 30 s.
double waitForMap(::Display* x, Clock::time_point start) {
    const auto deadline = start + std::chrono::seconds(30);
    while (Clock::now() < deadline) {
        while (XPending(x)) {
            XEvent event;
            XNextEvent(x, &event);
            if (event.type == MapNotify)
                return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        }
        pollfd p{ConnectionNumber(x), POLLIN, 0};
        ::poll(&p, 1, 5);
    }
    return -1;
}

struct Sample {
    double mappedMs = -1;
    long residentKb = 0;
    long childrenKb = 0;
    int sharedObjects = 0;
    int gstreamerObjects = 0;
};

Sample runOnce(const PrivateDisplay& d, const std::string& program, const std::string& home) {
    std::vector<std::string> env = {"DISPLAY=" + d.name,
                                    "QT_QPA_PLATFORM=xcb",
                                    "KOLVADECK_AUDIO=silent",
                                    "HOME=" + home,
                                    "XDG_DATA_HOME=" + home + "/data",
                                    "XDG_CONFIG_HOME=" + home + "/config",
                                    "XDG_STATE_HOME=" + home + "/state",
                                    "XDG_CACHE_HOME=" + home + "/cache",
                                    "XDG_RUNTIME_DIR=" + home,
                                    "PATH=/usr/bin:/bin"};
    XSync(d.x, True); // drop events of earlier runs
    Sample s;
    const auto start = Clock::now();
    const pid_t pid = spawn({program}, env);
    if (pid <= 0)
        return s;
    s.mappedMs = waitForMap(d.x, start);
    std::this_thread::sleep_until(start + kMemoryAfter);
    s.residentKb = residentKb(pid);
    for (pid_t child : children(pid))
        s.childrenKb += residentKb(child);
    std::tie(s.sharedObjects, s.gstreamerObjects) = sharedObjects(pid);
    const std::vector<pid_t> children = ::children(pid);
    stop(pid);
    for (pid_t child : children) // the program ends its catalogue; a leftover goes too
        ::kill(child, SIGTERM);
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

// An optional argument names another build of the program to measure.
int main(int argc, char** argv) {
    PrivateDisplay d;
    d.name = d.server.display();
    d.x = d.name.empty() ? nullptr : XOpenDisplay(d.name.c_str());
    if (!d.x) {
        std::fprintf(stderr, "bench_startup: Xvfb did not start\n");
        return 1;
    }
    // Every top-level window mapped on the display is reported.
    XSelectInput(d.x, DefaultRootWindow(d.x), SubstructureNotifyMask);
    XSync(d.x, True);
    char dir[] = "/tmp/kolvadeck-bench-home.XXXXXX";
    const std::string home = ::mkdtemp(dir) ? dir : "/tmp";
    const std::string ours = argc > 1 ? argv[1] : KV_PROGRAM, bare = KV_BARE_WINDOW;
    runOnce(d, bare, home); // warms the file cache for both
    runOnce(d, ours, home);
    std::vector<double> oursMs, bareMs, oursKb, bareKb, catalogueKb;
    Sample last;
    for (int i = 0; i < kRuns; ++i) {
        const Sample b = runOnce(d, bare, home);
        last = runOnce(d, ours, home);
        std::printf("run %d: mapped %.1f ms vs %.1f ms, resident %ld kB vs %ld kB, "
                    "catalogue %ld kB\n",
                    i, last.mappedMs, b.mappedMs, last.residentKb, b.residentKb, last.childrenKb);
        if (last.mappedMs < 0 || b.mappedMs < 0)
            return 1;
        oursMs.push_back(last.mappedMs);
        bareMs.push_back(b.mappedMs);
        oursKb.push_back(double(last.residentKb));
        bareKb.push_back(double(b.residentKb));
        catalogueKb.push_back(double(last.childrenKb));
    }
    std::printf("mapped median %.1f ms (bare window %.1f ms); resident median %.1f MB (bare "
                "%.1f MB); catalogue %.1f MB\n",
                median(oursMs), median(bareMs), median(oursKb) / 1024, median(bareKb) / 1024,
                median(catalogueKb) / 1024);
    std::printf("shared objects mapped after 5 s: %d, of them GStreamer: %d\n", last.sharedObjects,
                last.gstreamerObjects);
    std::printf("ratio startup_to_mapped %.3f\n", median(oursMs) / median(bareMs));
    std::printf("ratio resident_memory %.3f\n", median(oursKb) / median(bareKb));
    XCloseDisplay(d.x);
    std::system(("rm -rf '" + home + "'").c_str());
    return 0;
}
