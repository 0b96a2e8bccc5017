// The plug-in's entry point: the runtime is made at load and destroyed at unload.
#include <memory>

#include "qks/entry/runtime.h"
#include "qks/host/host.h"

#ifndef QKS_HOST_GENERATION
#error "QKS_HOST_GENERATION must be defined by the build (24 or 23)"
#endif

namespace {

// The one object that lives from load to unload (main thread only).
std::unique_ptr<qks::PluginRuntime> runtime;

}  // namespace

extern "C" __attribute__((visibility("default"))) int acrxGetApiVersion() {
    return qks::host::kHostApiVersion;
}

extern "C" __attribute__((visibility("default"))) int acrxEntryPoint(int message, void* appHandle) {
    auto* host = static_cast<qks::host::Host*>(appHandle);
    if (host == nullptr) return 0;
    try {
        if (message == qks::host::kLoadMessage) {
            if (!runtime)
                runtime = std::make_unique<qks::PluginRuntime>(*host, QKS_HOST_GENERATION);
            runtime->load();
        } else if (message == qks::host::kUnloadMessage) {
            runtime.reset();
        }
    } catch (...) {
        // Nothing may escape into the host; a failed load leaves whatever was registered.
    }
    return 0;
}
