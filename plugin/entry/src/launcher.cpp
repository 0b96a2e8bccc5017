#include "qks/entry/launcher.h"

#include <cstdio>

#include "qks/bridge/bridge.h"
#include "qks/common/environment.h"
#include "qks/common/file_io.h"
#include "qks/common/utf8.h"

namespace qks {
namespace {

bool isProgramCandidate(const std::string& path) {
    return !path.empty() && fileExists(path) && !isDirectory(path);
}

}  // namespace

std::string findStudioExecutable(const std::string& moduleFolder) {
    const std::string folder = moduleFolder.empty() ? std::string() : moduleFolder + "/";
    const std::string beside = folder + "QksStudio";
    if (isProgramCandidate(beside)) return beside;
    const std::string sibling = folder + "../Studio/QksStudio";
    if (isProgramCandidate(sibling)) return sibling;
    const std::string fromEnvironment = environmentValue("QKS_STUDIO");
    const std::size_t length = utf16Length(fromEnvironment);
    if (length >= 1 && length <= 259 && isProgramCandidate(fromEnvironment)) return fromEnvironment;
    const std::string installed = "/opt/QksStudio/QksStudio";
    if (isProgramCandidate(installed)) return installed;
    return {};
}

void launchStudio(host::ApplicationServices& host, const std::string& moduleFolder) {
    const std::string studio = findStudioExecutable(moduleFolder);
    if (studio.empty()) {
        host.print("\n[QKS] 未找到 QskStudio.exe，请把它放在 ARX 同目录。");
        return;
    }
    const host::StartResult result = host.startProgram(studio, folderOfPath(studio));
    if (result.started) {
        host.print("\n[QKS] 面板已启动。");
    } else {
        char line[128];
        std::snprintf(line, sizeof line, "\n[QKS] 启动 QskStudio.exe 失败，错误码 %d。",
                      result.errorCode);
        host.print(line);
    }
}

void printVersion(host::ApplicationServices& host, int hostGeneration,
                  const std::string& moduleFolder) {
    host.print("\n[QKS] Corvane Studio " + std::string(kProductVersion));
    host.print("\n[QKS] 适配 AutoCAD " + std::to_string(hostGeneration));
    const std::string studio = findStudioExecutable(moduleFolder);
    host.print("\n[QKS] 面板路径: " + (studio.empty() ? std::string("(未找到)") : studio));
}

}  // namespace qks
