#pragma once

// Runs the built morvel tool as a child process and reports how it ended, what it printed, and
// (through run) the most memory it held: the peak resident set, from the kernel's accounting of
// that child alone.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace ToolRunner {

struct Outcome {
    int status = -1;  // exit status; -1 when killed by a signal
    std::string out;
    std::string err;
    long peakKilobytes = 0;
};

struct Limits {
    long fileSizeBytes = -1;               // RLIMIT_FSIZE; -1: none
    std::vector<std::string> environment;  // NAME=VALUE added
    long addressSpaceBytes = -1;           // RLIMIT_AS (ulimit -v); -1: none
};

inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The arguments as one shell command line (quoted by the caller).
inline Outcome runTool(const std::string& arguments) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const std::string tag = std::to_string(::getpid());
    const std::filesystem::path out = dir / ("morvel_tool_out_" + tag);
    const std::filesystem::path err = dir / ("morvel_tool_err_" + tag);
    const std::string command =
        std::string("'") + MORVEL_TOOL_PATH + "' " + arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(command.c_str());
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome.out = slurp(out);
    outcome.err = slurp(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return outcome;
}

inline int lines(const std::string& text) {
    int count = 0;
    for (char c : text) count += c == '\n';
    return count;
}

// The arguments as they are, without a shell.
inline Outcome run(const std::vector<std::string>& arguments, const Limits& limits = {}) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const std::string tag = std::to_string(::getpid());
    const std::filesystem::path outPath = dir / ("morvel_runner_out_" + tag);
    const std::filesystem::path errPath = dir / ("morvel_runner_err_" + tag);
    std::vector<std::string> words{MORVEL_TOOL_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (limits.fileSizeBytes >= 0) {
            // A write past the limit then fails with EFBIG instead of killing the process.
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{rlim_t(limits.fileSizeBytes), rlim_t(limits.fileSizeBytes)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (limits.addressSpaceBytes >= 0) {
            const rlimit limit{rlim_t(limits.addressSpaceBytes), rlim_t(limits.addressSpaceBytes)};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        for (const std::string& setting : limits.environment) ::putenv(const_cast<char*>(setting.c_str()));
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    Outcome outcome;
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.peakKilobytes = usage.ru_maxrss;
    outcome.out = slurp(outPath);
    outcome.err = slurp(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return outcome;
}

// Peak memory means little under the sanitizers, which keep shadow memory and freed blocks.
constexpr bool kMeasuresMemory =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    false;
#else
    true;
#endif
#else
    true;
#endif

}  // namespace ToolRunner
