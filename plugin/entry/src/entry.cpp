// The plug-in's entry point: registers the commands, creates the bridge window and starts
// the bridge at load; undoes all of it at unload.
#include <string>

#include "qks/bridge/bridge.h"
#include "qks/common/environment.h"
#include "qks/entry/launcher.h"
#include "qks/host/host.h"
#include "qks/merge/merge.h"
#include "qks/nest/extraction.h"
#include "qks/nest/job.h"
#include "qks/nest/output.h"
#include "qks/nest/session.h"
#include "qks/plot/jobs.h"

#ifndef QKS_HOST_GENERATION
#error "QKS_HOST_GENERATION must be defined by the build (24 or 23)"
#endif

namespace qks {
namespace {

constexpr const char* kCommandGroup = "QKS_STUDIO";
constexpr const char* kBridgeWindowClass = "QksStudioBridge";

host::Host* currentHost = nullptr;
host::WindowHandle bridgeWindow;

std::string moduleFolder() {
    static const int anchor = 0;
    return folderOfPath(currentHost->modulePath(&anchor));
}

void addCommand(const char* name, host::CommandFunction function) {
    currentHost->addCommand(kCommandGroup, name, name, 0, std::move(function));
}

void load(host::Host* host) {
    currentHost = host;
    addCommand("QK", [] { launchStudio(*currentHost, moduleFolder()); });
    addCommand("QKVER", [] { printVersion(*currentHost, QKS_HOST_GENERATION, moduleFolder()); });
    addCommand("QKPLOT", [] { plot::runPlotJob(*currentHost); });
    addCommand("QKPLOTFILES", [] { plot::runPlotFilesJob(*currentHost, {}); });
    addCommand("QKMERGE", [] { merge::runMergeJob(*currentHost, {}); });
    addCommand("QKNEST", [] { nest::runNestJob(*currentHost, {}); });
    addCommand("QKNESTPICK", [] { nest::runNestPick(*currentHost); });
    if (!bridgeWindow)
        bridgeWindow = host->createMessageWindow(kBridgeWindowClass, kBridgeWindowClass,
                                                 bridgeWindowProcedure);
    BridgeJobs jobs;
    jobs.plotFiles = [](const std::string& configPath) {
        plot::runPlotFilesJob(*currentHost, configPath);
    };
    jobs.plotCommand = true;
    jobs.merge = [](const std::string& configPath) {
        merge::runMergeJob(*currentHost, configPath);
    };
    jobs.nest = [](const std::string& configPath) { nest::runNestJob(*currentHost, configPath); };
    jobs.nestFinished = [] { nest::finishNestJob(*currentHost); };
    jobs.nestPickCommand = true;
    nest::setNestMessageTarget(host, bridgeWindow);
    setBridgeJobs(std::move(jobs));
    setBridgeWindow(host, bridgeWindow);
    startBridge();
}

void unload(host::Host* host) {
    stopBridge();
    setBridgeWindow(nullptr, {});
    setBridgeJobs(BridgeJobs{});
    // The worker may not outlive the module: stop it and wait, without an output step.
    nest::setNestMessageTarget(nullptr, {});
    nest::abandonNestJob();
    if (bridgeWindow) host->destroyWindow(bridgeWindow);
    bridgeWindow = {};
    host->removeCommandGroup(kCommandGroup);
    currentHost = nullptr;
}

}  // namespace
}  // namespace qks

extern "C" __attribute__((visibility("default"))) int acrxGetApiVersion() {
    return qks::host::kHostApiVersion;
}

extern "C" __attribute__((visibility("default"))) int acrxEntryPoint(int message, void* appHandle) {
    auto* host = static_cast<qks::host::Host*>(appHandle);
    if (host == nullptr) return 0;
    try {
        if (message == qks::host::kLoadMessage)
            qks::load(host);
        else if (message == qks::host::kUnloadMessage)
            qks::unload(host);
    } catch (...) {
        // Nothing may escape into the host; a failed load leaves whatever was registered.
    }
    return 0;
}
