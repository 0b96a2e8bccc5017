#include "qks/entry/runtime.h"

#include <string>
#include <utility>

#include "qks/bom/bom.h"
#include "qks/common/environment.h"
#include "qks/contract/names.h"
#include "qks/entry/launcher.h"
#include "qks/host/drawing.h"
#include "qks/merge/merge.h"
#include "qks/nest/job.h"
#include "qks/nest/output.h"
#include "qks/plot/jobs.h"
#include "qks/tools/tools.h"

namespace qks {
namespace {

constexpr const char* kCommandGroup = "QKS_STUDIO";
constexpr const char* kBridgeWindowClass = "QksStudioBridge";

}  // namespace

PluginRuntime::PluginRuntime(host::Host& host, int hostGeneration)
    : host_(host), hostGeneration_(hostGeneration) {}

std::string PluginRuntime::moduleFolder() const {
    static const int anchor = 0;
    return folderOfPath(host_.modulePath(&anchor));
}

void PluginRuntime::addCommand(const char* name, host::CommandFunction function) {
    host_.addCommand(kCommandGroup, name, name, 0, std::move(function));
}

void PluginRuntime::writeDrawingView(const std::string& layout, const std::string& notice) {
    host::DocumentServices* ds = host_.drawingServices();
    if (ds == nullptr) return;
    ds->writeView(host_.currentDocument(), layout, tempFilePath(std::string(contract::kViewFile)),
                  notice);
}

void PluginRuntime::load() {
    addCommand("QK", [this] { launchStudio(host_, moduleFolder()); });
    addCommand("QKVER", [this] { printVersion(host_, hostGeneration_, moduleFolder()); });
    addCommand("QKPLOT", [this] { plot::runPlotJob(host_); });
    addCommand("QKPLOTFILES", [this] { plot::runPlotFilesJob(host_, {}); });
    addCommand("QKMERGE", [this] { merge::runMergeJob(host_, {}); });
    addCommand("QKNEST", [this] { nest::runNestJob(host_, nest_, {}); });
    addCommand("QKNESTPICK", [this] { nest::runNestPick(host_); });
    addCommand("QKBOM", [this] { bom::runBomJob(host_, {}); });
    addCommand("QKTOOLS", [this] { tools::runToolsJob(host_, {}); });
    if (!bridgeWindow_)
        bridgeWindow_ = host_.createMessageWindow(
            kBridgeWindowClass, kBridgeWindowClass,
            [this](host::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                   std::intptr_t lParam) {
                return bridge_.windowProcedure(window, message, wParam, lParam);
            });
    BridgeJobs jobs;
    jobs.plotFiles = [this](const std::string& configPath) {
        plot::runPlotFilesJob(host_, configPath);
    };
    jobs.plotCommand = true;
    jobs.merge = [this](const std::string& configPath) { merge::runMergeJob(host_, configPath); };
    jobs.nest = [this](const std::string& configPath) {
        nest::runNestJob(host_, nest_, configPath);
    };
    jobs.bom = [this](const std::string& configPath) { bom::runBomJob(host_, configPath); };
    jobs.tools = [this](const std::string& configPath) { tools::runToolsJob(host_, configPath); };
    jobs.nestFinished = [this] { nest::finishNestJob(host_, nest_); };
    jobs.nestAdjust = [this](const std::string& layoutPath) {
        nest::runNestAdjust(host_, nest_, layoutPath);
    };
    jobs.nestPickCommand = true;
    jobs.view = [this](const std::string& layout) { writeDrawingView(layout, {}); };
    jobs.open = [this](const std::string& drawingPath) {
        host::DocumentServices* ds = host_.drawingServices();
        if (ds == nullptr) return;
        std::string message;
        const host::DocumentId opened = ds->openDocument(drawingPath, &message);
        if (opened) ds->makeDocumentCurrent(opened);
        writeDrawingView({}, opened ? std::string()
                                    : "无法打开 " + drawingPath +
                                          (message.empty() ? std::string() : "：" + message));
    };
    nest_.setNestMessageTarget(&host_, bridgeWindow_);
    bridge_.setJobs(std::move(jobs));
    bridge_.setWindow(&host_, bridgeWindow_);
    bridge_.startBridge();
}

PluginRuntime::~PluginRuntime() {
    bridge_.stopBridge();
    bridge_.setWindow(nullptr, {});
    bridge_.setJobs(BridgeJobs{});
    // The worker may not outlive the module: stop it and wait, without an output step.
    nest_.setNestMessageTarget(nullptr, {});
    nest_.abandonNestJob();
    if (bridgeWindow_) host_.destroyWindow(bridgeWindow_);
    host_.removeCommandGroup(kCommandGroup);
}

}  // namespace qks
