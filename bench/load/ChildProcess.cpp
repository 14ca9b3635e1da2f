#include "bench/load/ChildProcess.h"
#include "bench/load/ProcessCpu.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

bool TChildProcess::Start(const std::vector<std::string>& arguments, const std::string& logFile) {
    LogFile = logFile;
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        int out = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    Id = child;
    return true;
}

int TChildProcess::WaitForPort(std::chrono::seconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream log(LogFile);
        std::string line;
        while (std::getline(log, line)) {
            size_t at = line.find("listening on");
            if (at == std::string::npos) continue;
            size_t port = line.find("port ", at);
            if (port != std::string::npos) return std::atoi(line.c_str() + port + 5);
        }
        if (waitpid(Id, nullptr, WNOHANG) == Id) {
            Id = 0;
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

double TChildProcess::CpuSeconds() const {
    return ProcessCpuSeconds(Id);
}

double TChildProcess::QueuedSeconds() const {
    // schedstat: time on a processor, time waiting on a run queue (ns), slices.
    std::ifstream schedstat("/proc/" + std::to_string(Id) + "/schedstat");
    double running = 0, waiting = 0;
    if (!(schedstat >> running >> waiting)) return 0;
    return waiting / 1e9;
}

int64_t TChildProcess::ResidentBytes() const {
    std::ifstream statm("/proc/" + std::to_string(Id) + "/statm");
    int64_t size = 0;
    int64_t resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

int TChildProcess::Stop() {
    if (Id <= 0) return -1;
    ::kill(Id, SIGTERM);
    int status = 0;
    for (int waited = 0; waited < 250; ++waited) {
        if (waitpid(Id, &status, WNOHANG) == Id) {
            Id = 0;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(Id, SIGKILL);
    waitpid(Id, &status, 0);
    Id = 0;
    return -1;
}
