// The Studio launcher and the version command.
#pragma once

#include <string>

#include "qks/host/host.h"

namespace qks {

// Where the Studio is looked for, in order: beside the plug-in, in ../Studio/ from there,
// the QKS_STUDIO variable (1 to 259 characters), the fixed install path. The first candidate
// that exists and is not a folder wins; empty when none does.
std::string findStudioExecutable(const std::string& moduleFolder);

// "QK": starts the Studio with its own folder as working folder and reports on the console.
void launchStudio(host::ApplicationServices& host, const std::string& moduleFolder);

// "QKVER": three lines naming the product version, the host generation and the Studio path.
void printVersion(host::ApplicationServices& host, int hostGeneration,
                  const std::string& moduleFolder);

}  // namespace qks
