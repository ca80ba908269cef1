#pragma once
// Runs a built program as a child process with its standard output and error
// captured through pipes (so it never sees a terminal), for end-to-end tests.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

class ChildProcess {
public:
    using Clock = std::chrono::steady_clock;

    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        if (m_pid > 0 && !m_exited) {
            ::kill(m_pid, SIGKILL);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
        CloseFd(m_out);
        CloseFd(m_err);
    }

    bool Start(const std::vector<std::string>& args) {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return false;
        if (::pipe2(err, O_CLOEXEC) != 0) {
            ::close(out[0]);
            ::close(out[1]);
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        m_out = out[0];
        m_err = err[0];
        m_started = Clock::now();
        if (rc != 0) {
            m_pid = -1;
            return false;
        }
        return true;
    }

    // Reads output until the predicate holds for what standard output holds so
    // far, the process ends, or timeoutMs passes. True when the predicate held.
    template <typename Predicate>
    bool WaitForOutput(Predicate holds, int timeoutMs) {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!holds(m_stdout)) {
            if (!Pump(deadline)) return holds(m_stdout);
        }
        return true;
    }

    // Waits for the end; false when timeoutMs passed first (the child is then killed).
    bool Wait(int timeoutMs) {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Pump(deadline)) {
        }
        // Both pipes have ended (or the time is up): reap the child.
        for (;;) {
            int status = 0;
            const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
            if (r == m_pid) {
                m_exited = true;
                m_ended = Clock::now();
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return true;
            }
            if (Clock::now() >= deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                m_exited = true;
                m_status = -1;
                return false;
            }
            ::usleep(2000);
        }
    }

    void Signal(int signal) const { ::kill(m_pid, signal); }
    pid_t Pid() const { return m_pid; }

    int Status() const { return m_status; }
    const std::string& Out() const { return m_stdout; }
    const std::string& Err() const { return m_stderr; }
    Clock::time_point Ended() const { return m_ended; }
    double Seconds() const { return std::chrono::duration<double>(m_ended - m_started).count(); }

private:
    static void CloseFd(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    // Reads what is available from both pipes; false once both have ended or
    // the deadline has passed.
    bool Pump(Clock::time_point deadline) {
        if (m_out < 0 && m_err < 0) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        const int rc = ::poll(fds, 2, static_cast<int>(left));
        if (rc < 0) return errno == EINTR;
        if (rc == 0) return false;
        ReadInto(fds[0], m_out, m_stdout);
        ReadInto(fds[1], m_err, m_stderr);
        return true;
    }

    static void ReadInto(const pollfd& p, int& fd, std::string& text) {
        if (fd < 0 || p.revents == 0) return;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            text.append(buffer, static_cast<size_t>(n));
        else
            CloseFd(fd);
    }

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    bool m_exited = false;
    int m_status = -1;
    std::string m_stdout;
    std::string m_stderr;
    Clock::time_point m_started;
    Clock::time_point m_ended;
};

// Runs a program to its end (at most timeoutMs) and returns it.
struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
    double seconds = 0;
};

inline RunResult RunProgram(const std::vector<std::string>& args, int timeoutMs = 60000) {
    ChildProcess child;
    RunResult result;
    if (!child.Start(args)) return result;
    child.Wait(timeoutMs);
    result.status = child.Status();
    result.out = child.Out();
    result.err = child.Err();
    result.seconds = child.Seconds();
    return result;
}
