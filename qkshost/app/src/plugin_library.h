// Opening a plug-in's shared library for the host: the checks made before its entry point
// may run.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "qkshost/app/host_application.h"

namespace qkshost {

// The plug-in at `path`, opened: a regular file, not one of `loaded` (compared by canonical
// path), exporting the entry points of this host interface's version. Nothing, with `error`
// set, otherwise; nothing stays open then.
std::optional<LoadedPlugin> openPluginLibrary(const std::string& path,
                                              const std::vector<LoadedPlugin>& loaded,
                                              std::string& error);

}  // namespace qkshost
