// The kavro-sim executable: its device line, identity options, link, image
// file, fault exit, signals and option errors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "link/device_link.h"
#include "sim/sim_client.h"
#include "sim/sim_protocol.h"

extern char** environ;

namespace {
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

Bytes Request(uint8_t code) { return {REQUEST_TAG, code, 0x00, 0x00}; }

// kavro-sim as a child process with its output captured.
class SimProcess {
public:
    SimProcess() = default;
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    ~SimProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }

    bool Start(const std::vector<std::string>& args) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0) return false;
        if (pipe2(err, O_CLOEXEC) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> all = {KAVRO_SIM_EXECUTABLE};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        m_out.Reset(out[0]);
        m_err.Reset(err[0]);
        if (rc != 0) m_pid = -1;
        return rc == 0;
    }

    // The next line of standard output, without its newline; empty on timeout.
    std::string ReadLine(int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const size_t newline = m_stdout.find('\n', m_taken);
            if (newline != std::string::npos) {
                std::string line = m_stdout.substr(m_taken, newline - m_taken);
                m_taken = newline + 1;
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0 || !Pump(static_cast<int>(left))) return {};
        }
    }

    // The exit code, or -1 when the process has not ended within the time (or died by a signal).
    int Wait(int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (m_pid > 0) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                while (Pump(0)) {
                }
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (Clock::now() > deadline) return -1;
            Pump(20);
        }
        return -1;
    }

    void Signal(int signo) { kill(m_pid, signo); }
    const std::string& Out() const { return m_stdout; }
    const std::string& Err() const { return m_stderr; }

private:
    // Reads what is there on both pipes; false when nothing came.
    bool Pump(int timeoutMs) {
        pollfd fds[2] = {{m_out.Get(), POLLIN, 0}, {m_err.Get(), POLLIN, 0}};
        if (poll(fds, 2, timeoutMs) <= 0) return false;
        bool got = false;
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? m_stdout : m_stderr).append(buffer, static_cast<size_t>(n));
                got = true;
            }
        }
        return got;
    }

    pid_t m_pid = -1;
    UniqueFd m_out, m_err;
    std::string m_stdout, m_stderr;
    size_t m_taken = 0;
};

// Runs kavro-sim to its end; returns the exit code.
int RunToEnd(const std::vector<std::string>& args, std::string& out, std::string& err) {
    SimProcess p;
    if (!p.Start(args)) return -1;
    const int code = p.Wait(5000);
    out = p.Out();
    err = p.Err();
    return code;
}

const std::string DEVICE_LINE = "Simulated device on ";

std::string DevicePath(const std::string& line) {
    return line.rfind(DEVICE_LINE, 0) == 0 ? line.substr(DEVICE_LINE.size()) : std::string();
}

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/kavro-sim-cli-XXXXXX";
        if (mkdtemp(pattern) != nullptr) m_path = pattern;
    }
    ~TempDir() {
        if (!m_path.empty()) std::system(("rm -rf '" + m_path + "'").c_str());
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

Bytes Ask(SimClient& client, const Bytes& request) {
    EXPECT_TRUE(client.Send(request));
    Bytes reply;
    return client.Receive(reply, 3000) == SimClient::Result::Frame ? reply : Bytes{};
}
}  // namespace

TEST(SimCli, HelpDocumentsEveryOption) {
    std::string out, err;
    ASSERT_EQ(RunToEnd({"--help"}, out, err), 0);
    for (const char* option :
         {"--link", "--port", "--baud", "--save-image", "--name", "--chip", "--sw", "--hw-lowest", "--hw-highest",
          "--hw-current", "--product", "--seed", "--foreign", "--refuse", "--refuse-command", "--short-ack",
          "--corrupt", "--drop", "--silent", "--silent-command", "--silence-after-blocks", "--hangup-after-blocks",
          "--garbage", "--reply-delay", "--line-rate", "--answer-sync-late", "--quiet", "--cpus",
          "--save-second-image", "--second-name"}) {
        EXPECT_NE(out.find(option), std::string::npos) << option;
    }
}

TEST(SimCli, BadOptionsGiveAnErrorAndANonZeroExit) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},
        {"--chip", "1234567"},
        {"--chip", "1234567G"},
        {"--sw", "2.5"},
        {"--sw", "256.00"},
        {"--hw-current", "two"},
        {"--hw-lowest", "1.000"},
        {"--product", "4294967296"},
        {"--corrupt", "1.5"},
        {"--drop", "-0.1"},
        {"--refuse-command", "0x123"},
        {"--foreign", "many"},
        {"--baud", "19200"},  // only with --port
        {"--cpus", "3"},
        {"--second-name", "B"},  // only with --cpus 2
        {"--cpus", "1", "--save-second-image", "/tmp/kavro-never"},
        {"--port"},
    };
    for (const auto& args : bad) {
        std::string out, err;
        const int code = RunToEnd(args, out, err);
        EXPECT_NE(code, 0) << args[0];
        EXPECT_NE(code, -1) << args[0] << ": ended by itself";
        EXPECT_FALSE(err.empty()) << args[0];
        EXPECT_EQ(out.find(DEVICE_LINE), std::string::npos) << args[0];
    }
}

TEST(SimCli, IdentityOptionsLinkAndCleanExitOnSigterm) {
    TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::string link = dir.Path() + "/device";
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--link", link, "--name", "CLI DEVICE", "--chip", "a1B2c3D4", "--sw", "1.02",
                           "--hw-lowest", "0.50", "--hw-highest", "9.99", "--hw-current", "4.01", "--product",
                           "0000123456", "--quiet"}));
    const std::string path = DevicePath(sim.ReadLine(5000));
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << sim.Out() << sim.Err();
    char target[PATH_MAX] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), path);

    SimClient client;
    std::string error;
    ASSERT_TRUE(client.Open(link, error)) << error;
    EXPECT_EQ(Ask(client, Request(CMD_READ_IDENT)),
              (Bytes{0xC0, 0x03, 0x00, 0x00, 0xA1, 0xB2, 0xC3, 0xD4, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 50,
                     0x00, 0x00, 0x00, 0x09, 99, 'C', 'L', 'I', ' ', 'D', 'E', 'V', 'I', 'C', 'E', 0x00}));
    EXPECT_EQ(Ask(client, Request(CMD_READ_HWINFO)),
              (Bytes{0xC0, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x01, 0x00, 0x01, 0xE2, 0x40}));

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(3000), 0);
    struct stat st{};
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "the link is removed at exit";
    EXPECT_EQ(sim.Out().find("identity request"), std::string::npos) << "quiet";
}

TEST(SimCli, SavesTheImageLogsRequestsAndEndsOnSigint) {
    TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::string file = dir.Path() + "/received.bin";
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--save-image", file}));
    const std::string path = DevicePath(sim.ReadLine(5000));
    ASSERT_FALSE(path.empty()) << sim.Err();

    SimClient client;
    std::string error;
    ASSERT_TRUE(client.Open(path, error)) << error;
    EXPECT_EQ(Ask(client, Request(CMD_BEGIN_DOWNLOAD)), (Bytes{0xC0, 0x05, 0x00, 0x00}));
    EXPECT_EQ(Ask(client, {REQUEST_TAG, CMD_WRITE_BLOCK, 0, 0, 0x02, 0x00, 3, 7, 8, 9}), (Bytes{0xC0, 0x01, 0x00, 0x00}));
    EXPECT_EQ(Ask(client, Request(CMD_END_DOWNLOAD)), (Bytes{0xC0, 0x06, 0x00, 0x00}));
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), (Bytes{0, 0, 7, 8, 9}));

    sim.Signal(SIGINT);
    EXPECT_EQ(sim.Wait(3000), 0);
    EXPECT_NE(sim.Out().find("begin download"), std::string::npos) << sim.Out();
    EXPECT_NE(sim.Out().find("block of 3 bytes at offset 2"), std::string::npos) << sim.Out();
}

TEST(SimCli, ServesAGivenSerialDevice) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    UniqueFd masterFd(master), slaveFd(slave);
    // The child must not inherit the master, or closing it here would not hang up.
    ASSERT_EQ(fcntl(master, F_SETFD, FD_CLOEXEC), 0);
    ASSERT_EQ(fcntl(slave, F_SETFD, FD_CLOEXEC), 0);
    char name[128];
    ASSERT_EQ(ptsname_r(master, name, sizeof name), 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(master, &tio), 0);
    cfmakeraw(&tio);
    ASSERT_EQ(tcsetattr(master, TCSANOW, &tio), 0);

    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--port", name, "--baud", "57600", "--quiet"}));
    EXPECT_EQ(sim.ReadLine(5000), DEVICE_LINE + name) << sim.Err();

    const Bytes frame = SimProtocol::Frame(Request(CMD_RUN));
    ASSERT_EQ(write(master, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    const Bytes expected = SimProtocol::Frame({0xC0, 0x07, 0x00, 0x00});
    Bytes got;
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (got.size() < expected.size() && Clock::now() < deadline) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) != 1) continue;
        uint8_t buffer[64];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n > 0) got.insert(got.end(), buffer, buffer + n);
    }
    EXPECT_EQ(got, expected);

    // The other end going away is an error: exit 1 with a reason.
    masterFd.Close();
    EXPECT_EQ(sim.Wait(3000), 1);
    EXPECT_NE(sim.Err().find("kavro-sim: "), std::string::npos);
}

TEST(SimCli, HangUpFaultClosesTheLineAndEndsTheProgram) {
    TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::string link = dir.Path() + "/device";
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--link", link, "--hangup-after-blocks", "1", "--quiet"}));
    ASSERT_FALSE(DevicePath(sim.ReadLine(5000)).empty()) << sim.Err();
    SimClient client;
    std::string error;
    ASSERT_TRUE(client.Open(link, error)) << error;
    EXPECT_EQ(Ask(client, {REQUEST_TAG, CMD_WRITE_BLOCK, 0, 0, 0, 0, 1, 5}).size(), 4u);
    ASSERT_TRUE(client.Send({REQUEST_TAG, CMD_WRITE_BLOCK, 0, 0, 1, 0, 1, 6}));
    Bytes reply;
    EXPECT_EQ(client.Receive(reply, 3000), SimClient::Result::HangUp);
    EXPECT_EQ(sim.Wait(3000), 0);
    struct stat st{};
    EXPECT_NE(lstat(link.c_str(), &st), 0);
}

TEST(SimCli, RefusesToReplaceAFileWithItsLink) {
    TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::string file = dir.Path() + "/keep";
    std::ofstream(file) << "data";
    std::string out, err;
    EXPECT_EQ(RunToEnd({"--link", file}, out, err), 1);
    EXPECT_NE(err.find("not a symbolic link"), std::string::npos) << err;
    std::ifstream in(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "data");
}
