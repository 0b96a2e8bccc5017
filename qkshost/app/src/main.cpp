// qkshost: the headless drawing host.
//   qkshost [--plugin PATH]... [--no-plugin] [-c LINE]... [--no-stdin] [--serve] [DRAWING]...
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "qkshost/app/host_application.h"

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: qkshost [--plugin PATH]... [--no-plugin] [-c LINE]... [--no-stdin] "
                 "[--serve] [DRAWING]...\n");
}

std::string executableFolder() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    std::string path(buffer, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/'));
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> plugins, lines, drawings;
    bool defaultPlugin = true, readStdin = true, serve = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--plugin" || arg == "-c") && i + 1 < argc) {
            (arg == "-c" ? lines : plugins).push_back(argv[++i]);
        } else if (arg == "--no-plugin") {
            defaultPlugin = false;
        } else if (arg == "--no-stdin") {
            readStdin = false;
        } else if (arg == "--serve") {
            serve = true;
        } else if (arg == "-h" || arg == "--help") {
            usage();
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "qkshost: unknown option %s\n", arg.c_str());
            usage();
            return 2;
        } else {
            drawings.push_back(arg);
        }
    }
    if (plugins.empty() && defaultPlugin) plugins.push_back(executableFolder() + "/libqks.so");

    // Signals are taken by one thread with sigwait, so every other thread runs with them
    // blocked; a peer that hangs up on the bridge must not kill the host.
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    auto host = std::make_unique<qkshost::HostApplication>();
    host->setInteractive(readStdin && ::isatty(STDIN_FILENO));

    qkshost::HostApplication* hostForSignals = host.get();
    std::thread([stopSignals, hostForSignals] {
        int signalNumber = 0;
        if (::sigwait(&stopSignals, &signalNumber) == 0) hostForSignals->requestQuit();
    }).detach();

    std::string error;
    for (const std::string& drawing : drawings) {
        if (!host->openDocument(drawing, error))
            std::fprintf(stderr, "qkshost: cannot open %s: %s\n", drawing.c_str(), error.c_str());
    }
    if (!host->currentDocument()) host->newDocument();
    for (const std::string& plugin : plugins) {
        if (!host->loadPlugin(plugin, error))
            std::fprintf(stderr, "qkshost: cannot load %s: %s\n", plugin.c_str(), error.c_str());
    }

    for (const std::string& line : lines)
        host->queueInputLine(line);
    if (readStdin) {
        std::thread([h = host.get()] {
            std::string line;
            while (std::getline(std::cin, line))
                h->queueInputLine(line);
            h->endInput();
        }).detach();
    } else {
        host->endInput();
    }

    const int status = host->run(serve);
    host->unloadAllPlugins();
    std::fflush(stdout);
    // The input and signal threads may still be blocked; leave without destroying what they
    // might touch.
    std::_Exit(status);
}
