#include "run_client.hpp"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int RUN_LIMIT_MS = 20000;

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (auto& text : texts) {
        result.push_back(text.data());
    }
    result.push_back(nullptr);
    return result;
}

std::string read_all(int fd, pid_t child) {
    std::string out;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(RUN_LIMIT_MS);
    char buffer[4096];
    for (;;) {
        pollfd watched{fd, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || poll(&watched, 1, static_cast<int>(left.count())) <= 0) {
            kill(child, SIGKILL); // a hung client fails its test instead of the suite
            return out;
        }
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            return out;
        }
        out.append(buffer, static_cast<size_t>(got));
    }
}

} // namespace

ClientRun run_program(const std::vector<std::string>& program,
                      const std::vector<std::string>& env) {
    std::vector<std::string> environment = env;
    bool has_tz = false;
    for (const auto& entry : env) {
        has_tz = has_tz || entry.rfind("TZ=", 0) == 0;
    }
    if (!has_tz) {
        environment.push_back("TZ=UTC");
    }
    std::vector<std::string> argv = program;
    auto argv_pointers = pointers(argv);
    auto env_pointers = pointers(environment);

    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) {
        std::abort();
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipe_fds[1], STDOUT_FILENO);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        execve(argv_pointers[0], argv_pointers.data(), env_pointers.data());
        _exit(127);
    }
    close(pipe_fds[1]);
    ClientRun run;
    run.out = read_all(pipe_fds[0], child);
    close(pipe_fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

ClientRun run_client(const std::vector<std::string>& env, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {SNTP_CLIENT_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_program(argv, env);
}

ClientRun run_client_without_clock_right(const std::vector<std::string>& env) {
    std::vector<std::string> argv = WITHOUT_CLOCK_RIGHT;
    argv.push_back(SNTP_CLIENT_PATH);
    return run_program(argv, env);
}

bool clock_cannot_be_set_here() {
    constexpr unsigned long long CAP_SYS_TIME_BIT = 1ULL << 25;
    std::ifstream uid_map("/proc/self/uid_map");
    unsigned long long inside = 0, outside = 0, count = 0;
    uid_map >> inside >> outside >> count;
    const bool own_user_namespace = count != 4294967295ULL;
    std::vector<std::string> argv = WITHOUT_CLOCK_RIGHT;
    argv.insert(argv.end(), {"/bin/grep", "CapEff", "/proc/self/status"});
    const ClientRun capabilities = run_program(argv, {});
    const auto tab = capabilities.out.find('\t');
    if (tab == std::string::npos) {
        return false;
    }
    const unsigned long long effective = std::strtoull(capabilities.out.c_str() + tab, nullptr, 16);
    return own_user_namespace && (effective & CAP_SYS_TIME_BIT) == 0;
}
