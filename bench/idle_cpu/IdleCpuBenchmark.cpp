// CPU time of the real program under a virtual X display, its window at 1240 x 700 with a
// file loaded: playing a WAV at 1x, then paused (the program reopens its newest recent file
// paused when started without one). Each figure is the process's user + system time over
// 10 s of wall time, in percent of one core.
//
// Runs itself again under xvfb-run when not yet on a display of its own. Uses xdotool to find
// and size the window. HOME and the XDG folders point into a private temporary folder.

#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "bench/support/OnOwnDisplay.h"

#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr double measuredSeconds = 10;
// Bounds on a hung start, not part of any figure.
constexpr int maxPolls = 300;
constexpr auto pollInterval = std::chrono::milliseconds(100);

void print(const std::string& name, double value, const char* unit) {
    std::fputs((name + ": " + tindrel::formatNumber("%.2f", value) + " " + unit + "\n").c_str(),
               stdout);
}

bool writeTone(const fs::path& path, int seconds) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    std::vector<float> block(44100 * 2);
    for (int s = 0; s < seconds; ++s) {
        for (int i = 0; i < 44100; ++i) {
            const float v = 0.3f * float(std::sin(2 * M_PI * 220 * (s * 44100 + i) / 44100.0)) *
                            (0.5f + 0.5f * float(i % 11025) / 11025);
            block[size_t(2 * i)] = v;
            block[size_t(2 * i + 1)] = v;
        }
        sf_writef_float(file, block.data(), 44100);
    }
    sf_close(file);
    return true;
}

pid_t start(const std::vector<std::string>& arguments) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const auto& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

std::string output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[256];
        while (fgets(chunk, sizeof chunk, pipe))
            text += chunk;
        pclose(pipe);
    }
    return text;
}

// User + system time of the process so far, in seconds.
double cpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15)
            ticks += double(std::stoll(field));
    return ticks / double(sysconf(_SC_CLK_TCK));
}

// Waits for the program's visible window and sizes it; false when none appears.
bool sizeWindow(pid_t pid) {
    for (int poll = 0; poll < maxPolls; ++poll) {
        const std::string ids =
            output("xdotool search --onlyvisible --pid " + std::to_string(pid) + " 2>/dev/null");
        if (!ids.empty()) {
            const std::string id = ids.substr(0, ids.find('\n'));
            output("xdotool windowsize " + id + " 1240 700 2>/dev/null");
            return true;
        }
        std::this_thread::sleep_for(pollInterval);
    }
    return false;
}

double cpuPercentOfRun(const std::vector<std::string>& arguments, double settleSeconds) {
    const pid_t pid = start(arguments);
    double percent = -1;
    if (pid > 0 && sizeWindow(pid)) {
        std::this_thread::sleep_for(std::chrono::duration<double>(settleSeconds));
        const double before = cpuSeconds(pid);
        const auto began = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(measuredSeconds));
        const double used = cpuSeconds(pid) - before;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        percent = 100 * used / wall;
    }
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    return percent;
}

int runBenchmark() {
    char folderTemplate[] = "/tmp/tindrel-cpu-bench-XXXXXX";
    if (!mkdtemp(folderTemplate))
        return 1;
    const fs::path folder = folderTemplate;
    for (const char* sub : {"home", "config", "data", "cache", "runtime"})
        fs::create_directories(folder / sub);
    fs::permissions(folder / "runtime", fs::perms::owner_all);
    setenv("HOME", (folder / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (folder / "cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (folder / "runtime").c_str(), 1);
    const fs::path wav = folder / "home" / "tone.wav";
    int status = 1;
    if (writeTone(wav, 120)) {
        // Playing first: that run also makes the file the newest recent one.
        const double playing = cpuPercentOfRun({TINDREL_BINARY, wav.string()}, 2);
        // Paused: the meters need under a second to fall to the floor.
        const double paused = cpuPercentOfRun({TINDREL_BINARY}, 2);
        print("playing_cpu_percent", playing, "%");
        print("idle_cpu_paused_percent", paused, "%");
        print("cpu_bench_cores", double(std::thread::hardware_concurrency()), "cores");
        status = playing >= 0 && paused >= 0 ? 0 : 1;
    }
    fs::remove_all(folder);
    return status;
}

} // namespace

int main() {
    if (!tindrel::bench::runOnOwnDisplay())
        return 1;
    return runBenchmark();
}
