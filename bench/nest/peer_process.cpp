#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "peer.h"

namespace fs = std::filesystem;

std::optional<fs::path> runPeerProcess(const std::string& binary,
                                       const std::vector<std::string>& args, const char* prefix,
                                       bool keepOutput, int processors, std::string& error) {
    std::error_code ec;
    const fs::path binaryPath = fs::absolute(binary, ec);
    std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        error = "no temporary folder";
        return std::nullopt;
    }
    const fs::path work = pattern;
    std::vector<char*> argv{const_cast<char*>(binaryPath.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // What stdio holds unwritten would otherwise be written twice, once by the child.
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        if (processors > 0) {
            cpu_set_t cpus;
            CPU_ZERO(&cpus);
            for (int k = 0; k < processors; ++k)
                CPU_SET(k, &cpus);
            sched_setaffinity(0, sizeof cpus, &cpus);
        }
        if (chdir(work.c_str()) != 0) _exit(127);
        // Peers log to the terminal; keep the tables readable.
        std::freopen(keepOutput ? "peer.log" : "/dev/null", "w", stdout);
        std::freopen("peer.log", keepOutput ? "a" : "w", stderr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        error = "the peer failed (log in " + (work / "peer.log").string() + ")";
        return std::nullopt;
    }
    return work;
}
