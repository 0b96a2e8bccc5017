// Runs a program of the build as a child process, with its output captured in a file.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "qks/testing/shared_drawings.h"
#include "qks/testing/temp_dir.h"

extern char** environ;

namespace qks::testing {

class ChildProcess {
  public:
    // `env` entries ("NAME=value") are added to (and override) the current environment.
    ChildProcess(const std::vector<std::string>& argv, const std::string& outputPath,
                 const std::vector<std::string>& env = {}, const std::string& stdinText = "")
        : output_(outputPath) {
        std::vector<std::string> environment;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            bool overridden = false;
            for (const auto& add : env)
                if (entry.substr(0, entry.find('=') + 1) == add.substr(0, add.find('=') + 1))
                    overridden = true;
            if (!overridden) environment.push_back(entry);
        }
        environment.insert(environment.end(), env.begin(), env.end());
        std::vector<char*> envp, args;
        for (auto& e : environment)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> argvCopy = argv;
        for (auto& a : argvCopy)
            args.push_back(a.data());
        args.push_back(nullptr);

        int inPipe[2];
        if (::pipe2(inPipe, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
        posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
        if (::posix_spawn(&pid_, args[0], &actions, &attributes, args.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(inPipe[0]);
        if (!stdinText.empty()) {
            [[maybe_unused]] auto n = ::write(inPipe[1], stdinText.data(), stdinText.size());
        }
        stdin_ = inPipe[1];
        if (stdinText.empty() == false) closeInput();
    }
    ~ChildProcess() {
        closeInput();
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            wait();
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    void closeInput() {
        if (stdin_ >= 0) ::close(stdin_);
        stdin_ = -1;
    }
    void signal(int number) { ::kill(pid_, number); }
    // Writes to the child's standard input, which stays open when no stdinText was given.
    bool writeInput(const std::string& text) {
        std::size_t done = 0;
        while (stdin_ >= 0 && done < text.size()) {
            const ssize_t n = ::write(stdin_, text.data() + done, text.size() - done);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return stdin_ >= 0;
    }

    // Waits for the exit; returns the exit status, 128+signal when killed, -1 on time-out.
    int wait(std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        if (exited_) return status_;
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                exited_ = true;
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return status_;
            }
            if (std::chrono::steady_clock::now() > end) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    std::string output() const { return readAll(output_); }

  private:
    std::string output_;
    pid_t pid_ = -1;
    int stdin_ = -1;
    bool exited_ = false;
    int status_ = -1;
};

// Polls `condition` every 10 ms until it holds or `limit` passes.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// The qkshost program of this build.
inline std::string hostProgram() {
    return std::string(QKS_TEST_BIN_DIR) + "/qkshost";
}

// The environment entries of a qkshost child: `folder` as its TMPDIR, so its bridge socket and
// job files are the test's own, and no Studio to start; `extra` entries after them.
inline std::vector<std::string> hostEnvironment(const std::string& folder,
                                                const std::vector<std::string>& extra = {}) {
    std::vector<std::string> env{"TMPDIR=" + folder, "QKS_STUDIO="};
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

// `text` as one word of a POSIX shell command.
inline std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a shell command and returns what it printed on both outputs, followed by
// "<exit STATUS>" when it did not succeed.
inline std::string runCommand(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return "<popen failed>";
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int status = ::pclose(pipe);
    if (status != 0) out += "<exit " + std::to_string(status) + ">";
    return out;
}

// The real-drawing corpus unpacked into `folder`; empty on success, else what went wrong. The
// caller skips first where the corpus is absent (sharedDrawings(kRealDrawings) is empty).
inline std::string unpackRealDrawings(const std::string& folder) {
    return runCommand("mkdir -p '" + folder + "' && for f in '" + sharedDrawings(kRealDrawings) +
                      "'/*.dxf.gz; do gzip -dc \"$f\" > '" + folder +
                      "'/$(basename \"$f\" .gz) || exit 1; done");
}

// The job's last log line when it read every drawing of the corpus: one per row of
// expected.tsv (the rows the reference checks), so a drawing added there is counted here.
inline std::string realDrawingsDone() {
    const std::string count =
        runCommand("grep -cv -e '^#' -e '^[[:space:]]*$' '" + sharedDrawings(kRealDrawings) +
                   "/expected.tsv' | tr -d '\\n'");
    return "DONE total=" + count + " ok=" + count + " fail=0";
}

// Runs qkshost without a console on one command whose config `configVariable` names; the
// host's exit status, or -1 when it did not start.
inline int runHostCommand(const std::string& command, const std::string& configVariable,
                          const std::string& config, const std::string& folder) {
    ChildProcess host({hostProgram(), "--no-stdin", "-c", command}, folder + "/host-output.txt",
                      hostEnvironment(folder, {configVariable + "=" + config}));
    if (!host.started()) return -1;
    return host.wait(std::chrono::seconds(120));
}

}  // namespace qks::testing
