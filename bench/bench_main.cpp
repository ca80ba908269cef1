// kavro-bench: the link engine's figures against kavro-sim running as a
// separate process, so that this process's CPU time is the link's alone.
//
//   kavro-bench efficiency --sim KAVRO_SIM [--downloads N] [--reply-hold MS]
//       downloads paced at 19200 baud both ways: time from the begin request
//       to the end reply against the line limit (every byte of every frame
//       of the download, 10 bits a byte); --reply-hold makes the simulator
//       hold short replies as a USB adapter's latency timer does
//   kavro-bench block-cost --sim KAVRO_SIM [--downloads N]
//       unpaced downloads: wall and CPU microseconds per acknowledged block
//   kavro-bench connect --sim KAVRO_SIM --cli KAVRO_CLI [--repeats N]
//       Start() to the device block filled; `kavro-cli identify` as a process
//   kavro-bench idle --sim KAVRO_SIM [--seconds S]
//       CPU time of this process while the link polls a responsive device
//
// Each prints Markdown: a table of median, spread and the samples.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/device_link.h"
#include "link/frame_codec.h"
#include "link/message_target.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Stats {
    double median = 0, min = 0, max = 0, p99 = 0;
    size_t n = 0;
};

Stats Summarise(std::vector<double> v) {
    Stats s;
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    s.n = v.size();
    s.min = v.front();
    s.max = v.back();
    s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    size_t rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(v.size())));
    s.p99 = v[std::max<size_t>(rank, 1) - 1];
    return s;
}

std::string Samples(const std::vector<double>& v, const char* format) {
    std::string out;
    char buffer[64];
    for (double x : v) {
        std::snprintf(buffer, sizeof buffer, format, x);
        if (!out.empty()) out += ", ";
        out += buffer;
    }
    return out;
}

void Row(const char* what, const std::vector<double>& v, const char* format, const char* unit) {
    const Stats s = Summarise(v);
    char median[32], low[32], high[32];
    std::snprintf(median, sizeof median, format, s.median);
    std::snprintf(low, sizeof low, format, s.min);
    std::snprintf(high, sizeof high, format, s.max);
    std::printf("| %s | %s%s%s | %s to %s | %zu | %s |\n", what, median, *unit ? " " : "", unit, low, high, s.n,
                Samples(v, format).c_str());
}

void TableHead() {
    std::printf("| Figure | Median | Spread (min to max) | Runs | Samples |\n|---|---|---|---|---|\n");
}

// kavro-sim in its own process, reachable through a symbolic link.
class SimProcess {
public:
    bool Start(const std::string& simPath, const std::vector<std::string>& extra) {
        char pattern[] = "/tmp/kavro-bench-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) return false;
        m_dir = pattern;
        m_link = m_dir + "/device";
        std::vector<std::string> args = {simPath, "--quiet", "--link", m_link};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawn(&m_pid, simPath.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            std::fprintf(stderr, "cannot start %s: %s\n", simPath.c_str(), std::strerror(rc));
            m_pid = -1;
            return false;
        }
        for (int i = 0; i < 200; ++i) {
            struct stat st;
            if (::lstat(m_link.c_str(), &st) == 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::fprintf(stderr, "kavro-sim made no device link\n");
        return false;
    }
    ~SimProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
        if (!m_dir.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(m_dir, ec);
        }
    }
    // The device path behind the link (the port name must fit in 31 characters).
    std::string Port() const {
        std::error_code ec;
        const auto target = std::filesystem::read_symlink(m_link, ec);
        return ec ? m_link : target.string();
    }

private:
    pid_t m_pid = -1;
    std::string m_dir;
    std::string m_link;
};

class Notes final : public IMessageTarget {
public:
    void Post(uint32_t message, uintptr_t wParam, intptr_t) override {
        if (message != WM_LINK_NOTIFY) return;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_codes.push_back(static_cast<int>(wParam));
        }
        m_changed.notify_all();
    }
    bool WaitFor(int code, size_t count, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] {
            return static_cast<size_t>(std::count(m_codes.begin(), m_codes.end(), code)) >= count;
        });
    }
    // Waits until code a has been posted na times or code b nb times.
    void WaitForAny(int a, size_t na, int b, size_t nb, Clock::time_point deadline) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_until(lock, deadline, [&] {
            return static_cast<size_t>(std::count(m_codes.begin(), m_codes.end(), a)) >= na ||
                   static_cast<size_t>(std::count(m_codes.begin(), m_codes.end(), b)) >= nb;
        });
    }
    size_t Count(int code) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<size_t>(std::count(m_codes.begin(), m_codes.end(), code));
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_codes.clear();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_codes;
};

// Every frame on the line with its time, its length and its command code.
class FrameLog final : public IFrameTrace {
public:
    struct Entry {
        Clock::time_point at;
        Direction direction;
        uint32_t length;
        uint8_t tag;
        uint8_t code;
    };
    FrameLog() { m_entries.reserve(4096); }
    void OnFrame(Direction direction, const uint8_t* bytes, uint32_t length) override {
        const Clock::time_point now = Clock::now();
        // Unescape the first two message bytes: the tag and the command code.
        uint8_t values[2] = {0, 0};
        int got = 0;
        bool escape = false;
        for (uint32_t i = 1; i < length && got < 2; ++i) {
            if (bytes[i] == FRAME_ESCAPE) {
                escape = true;
                continue;
            }
            values[got++] = escape ? static_cast<uint8_t>(bytes[i] ^ 0x20) : bytes[i];
            escape = false;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_entries.push_back({now, direction, length, values[0], values[1]});
    }
    std::vector<Entry> Take() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<Entry> out;
        out.swap(m_entries);
        m_entries.reserve(4096);
        return out;
    }

private:
    std::mutex m_mutex;
    std::vector<Entry> m_entries;
};

struct Connection {
    Notes notes;
    CDeviceLink link;
    ~Connection() {
        link.Stop();
        link.m_port.SetTrace(nullptr);
    }
    bool Open(const std::string& port, IFrameTrace* trace) {
        if (!link.LoadBuiltInImage()) {
            std::fprintf(stderr, "the built-in image does not load\n");
            return false;
        }
        link.m_notifyWindow = &notes;
        link.m_progressWindow = nullptr;
        link.SetPortName(port.c_str());
        link.m_port.SetTrace(trace);
        link.Start();
        if (!link.m_running) {
            std::fprintf(stderr, "cannot open %s\n", port.c_str());
            return false;
        }
        if (!notes.WaitFor(LN_INFO_CHANGED, 1, std::chrono::seconds(45))) {
            std::fprintf(stderr, "the device did not answer\n");
            return false;
        }
        return true;
    }
    // One download; true when it was done and the end acknowledged. The
    // caller times it from the frames, so this waits without spinning.
    bool Download(std::chrono::seconds limit) {
        const size_t done = notes.Count(LN_DOWNLOAD_DONE);
        const size_t failed = notes.Count(LN_NO_RESPONSE);
        link.RequestDownload();
        const Clock::time_point deadline = Clock::now() + limit;
        notes.WaitForAny(LN_DOWNLOAD_DONE, done + 1, LN_NO_RESPONSE, failed + 1, deadline);
        // The end exchange follows the last block; the worker clears the
        // request when it is over.
        while (link.m_downloadRequested && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return !link.m_downloadRequested && notes.Count(LN_DOWNLOAD_DONE) == done + 1 &&
               notes.Count(LN_NO_RESPONSE) == failed;
    }
};

struct Args {
    std::string command, sim, cli;
    int count = 0;
    int replyHoldMs = 0;
};

int Efficiency(const Args& a) {
    const int downloads = a.count > 0 ? a.count : 5;
    const uint32_t baud = 19200;
    SimProcess sim;
    if (!sim.Start(a.sim, {"--line-rate", std::to_string(baud), "--reply-hold", std::to_string(a.replyHoldMs)}))
        return 1;
    FrameLog log;
    Connection c;
    if (!c.Open(sim.Port(), &log)) return 1;
    std::vector<double> efficiency, seconds, limits, overheadPerBlock;
    size_t blocks = 0, lineBytes = 0;
    for (int i = 0; i < downloads; ++i) {
        log.Take();
        if (!c.Download(std::chrono::seconds(120))) {
            std::fprintf(stderr, "download %d failed\n", i + 1);
            return 1;
        }
        const std::vector<FrameLog::Entry> entries = log.Take();
        // From the begin request to the end reply.
        auto begin = std::find_if(entries.begin(), entries.end(), [](const FrameLog::Entry& e) {
            return e.direction == IFrameTrace::Direction::Sent && e.code == CMD_BEGIN_DOWNLOAD;
        });
        auto end = std::find_if(entries.rbegin(), entries.rend(), [](const FrameLog::Entry& e) {
            return e.direction == IFrameTrace::Direction::Received && e.tag == REPLY_TAG && e.code == CMD_END_DOWNLOAD;
        });
        if (begin == entries.end() || end == entries.rend()) {
            std::fprintf(stderr, "download %d: begin or end frame not seen\n", i + 1);
            return 1;
        }
        const auto last = end.base();  // one past the end reply
        size_t bytes = 0, acked = 0;
        for (auto it = begin; it != last; ++it) {
            bytes += it->length;
            if (it->direction == IFrameTrace::Direction::Sent && it->code == CMD_WRITE_BLOCK) ++acked;
        }
        const double took = Seconds(std::prev(last)->at - begin->at);
        const double limit = static_cast<double>(bytes) * 10.0 / baud;
        // The window opens when the begin request's write returns, which a
        // pseudo-terminal does at once: its bytes are still to cross the paced
        // line, so they belong to the limit like every other frame's.
        efficiency.push_back(limit / took);
        seconds.push_back(took);
        limits.push_back(limit);
        overheadPerBlock.push_back((took - limit) / static_cast<double>(acked) * 1e3);
        blocks = acked;
        lineBytes = bytes;
    }
    if (a.replyHoldMs > 0) std::printf("Adapter reply hold: %d ms. ", a.replyHoldMs);
    std::printf("Line: %u baud both ways, 10 bits a byte; %zu block requests and %zu frame bytes in each download "
                "(begin, blocks, end and their replies), so one block's exchange takes about %.0f ms on the "
                "line.\n\n",
                baud, blocks, lineBytes,
                blocks > 0 ? static_cast<double>(lineBytes) * 10.0 / baud / static_cast<double>(blocks) * 1e3 : 0.0);
    TableHead();
    Row("Efficiency (line limit / measured)", efficiency, "%.4f", "");
    Row("Begin request to end reply", seconds, "%.3f", "s");
    Row("Line limit", limits, "%.3f", "s");
    Row("Time above the limit per block", overheadPerBlock, "%.3f", "ms");
    return 0;
}

// The time of the last frame received, for timing without a waiting loop.
class LastFrameTrace final : public IFrameTrace {
public:
    void OnFrame(Direction direction, const uint8_t*, uint32_t) override {
        if (direction == Direction::Received)
            m_lastReceived.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    }
    Clock::time_point LastReceived() const {
        return Clock::time_point(Clock::duration(m_lastReceived.load(std::memory_order_relaxed)));
    }

private:
    std::atomic<Clock::rep> m_lastReceived{0};
};

int BlockCost(const Args& a) {
    const int downloads = a.count > 0 ? a.count : 9;
    SimProcess sim;
    if (!sim.Start(a.sim, {})) return 1;
    LastFrameTrace trace;
    Connection c;
    if (!c.Open(sim.Port(), &trace)) return 1;
    const uint32_t blocks = (c.link.m_length + BLOCK_SIZE - 1) / BLOCK_SIZE;
    std::vector<double> wall, cpu;
    for (int i = 0; i < downloads; ++i) {
        // Wall time from the request to the end reply: the begin and end
        // exchanges are included, the poll pause is not (the request wakes
        // the worker at once). CPU time over the same download, this
        // process's threads together (the waiting main thread costs nothing).
        const double cpu0 = CpuSeconds();
        const Clock::time_point t0 = Clock::now();
        if (!c.Download(std::chrono::seconds(120))) {
            std::fprintf(stderr, "download %d failed\n", i + 1);
            return 1;
        }
        const double w = Seconds(trace.LastReceived() - t0);
        const double u = CpuSeconds() - cpu0;
        wall.push_back(w / blocks * 1e6);
        cpu.push_back(u / blocks * 1e6);
    }
    std::printf("Unpaced pseudo-terminal, %u blocks of up to 128 bytes a download; CPU is this process's "
                "(user + system, the simulator runs in its own process).\n\n",
                blocks);
    TableHead();
    Row("Wall time per acknowledged block", wall, "%.1f", "µs");
    Row("CPU time per acknowledged block", cpu, "%.1f", "µs");
    return 0;
}

// Runs a program to its end; the wall time in seconds, or a negative value.
double RunProcess(std::vector<std::string> args, int& exitCode) {
    std::vector<char*> argv;
    for (std::string& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const Clock::time_point t0 = Clock::now();
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double took = Seconds(Clock::now() - t0);
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return took;
}

int Connect(const Args& a) {
    const int repeats = a.count > 0 ? a.count : 10;
    SimProcess sim;
    if (!sim.Start(a.sim, {})) return 1;
    std::vector<double> engine, cli;
    {
        Connection c;
        if (!c.Open(sim.Port(), nullptr)) return 1;
        for (int i = 0; i < repeats; ++i) {
            c.link.Stop();
            c.notes.Clear();
            const Clock::time_point t0 = Clock::now();
            c.link.Start();
            if (!c.notes.WaitFor(LN_INFO_CHANGED, 1, std::chrono::seconds(45))) {
                std::fprintf(stderr, "no device data\n");
                return 1;
            }
            engine.push_back(Seconds(Clock::now() - t0));
        }
    }
    for (int i = 0; i < repeats; ++i) {
        int code = -1;
        const double took = RunProcess({a.cli, "identify", "--port", sim.Port()}, code);
        if (took < 0 || code != 0) {
            std::fprintf(stderr, "kavro-cli identify failed (exit %d)\n", code);
            return 1;
        }
        cli.push_back(took);
    }
    std::printf("Responsive unpaced simulator. The wake-up alone is 500 ms plus seven probes of 100 ms.\n\n");
    TableHead();
    Row("`Start()` to the device block filled (LN_INFO_CHANGED)", engine, "%.3f", "s");
    Row("`kavro-cli identify` as a whole process", cli, "%.3f", "s");
    return 0;
}

class CountingTrace final : public IFrameTrace {
public:
    void OnFrame(Direction direction, const uint8_t*, uint32_t) override {
        if (direction == Direction::Sent) m_sent.fetch_add(1, std::memory_order_relaxed);
    }
    std::atomic<uint64_t> m_sent{0};
};

int Idle(const Args& a) {
    const int seconds = a.count > 0 ? a.count : 60;
    SimProcess sim;
    if (!sim.Start(a.sim, {})) return 1;
    CountingTrace trace;
    Connection c;
    if (!c.Open(sim.Port(), &trace)) return 1;
    const uint64_t sent0 = trace.m_sent.load();
    const double cpu0 = CpuSeconds();
    const Clock::time_point t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = CpuSeconds() - cpu0;
    const double wall = Seconds(Clock::now() - t0);
    const uint64_t requests = trace.m_sent.load() - sent0;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("| Polling a responsive device | %.1f s | %.1f ms | %.3f %% of one core | %llu requests "
                "(%.2f poll cycles a second) | %ld KiB peak resident set of the whole process |\n",
                wall, cpu * 1e3, cpu / wall * 100.0, static_cast<unsigned long long>(requests),
                static_cast<double>(requests) / 2.0 / wall, usage.ru_maxrss);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Args a;
    if (argc < 2) {
        std::fprintf(stderr, "usage: kavro-bench efficiency|block-cost|connect|idle --sim PATH [--cli PATH] [--count N] "
                     "[--reply-hold MS]\n");
        return 2;
    }
    a.command = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--sim") a.sim = argv[i + 1];
        else if (key == "--cli") a.cli = argv[i + 1];
        else if (key == "--downloads" || key == "--repeats" || key == "--seconds" || key == "--count")
            a.count = std::atoi(argv[i + 1]);
        else if (key == "--reply-hold")
            a.replyHoldMs = std::atoi(argv[i + 1]);
        else {
            std::fprintf(stderr, "unknown option %s\n", key.c_str());
            return 2;
        }
    }
    if (a.sim.empty()) {
        std::fprintf(stderr, "--sim is required\n");
        return 2;
    }
    if (a.command == "efficiency") return Efficiency(a);
    if (a.command == "block-cost") return BlockCost(a);
    if (a.command == "connect") return a.cli.empty() ? 2 : Connect(a);
    if (a.command == "idle") return Idle(a);
    std::fprintf(stderr, "unknown command %s\n", a.command.c_str());
    return 2;
}
