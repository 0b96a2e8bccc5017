// The plug-in's runtime: everything it keeps between calls from the host, made when the host
// loads the module and destroyed when it unloads it. Apart from the two job log channels
// (shared/common; each job names its log when it starts), the plug-in has no other
// process-wide state.
//
// What it owns, and who touches it from which thread:
//   host_, hostGeneration_  fixed for the runtime's life.
//   nest_    the nest job flags, the session slot and the worker it starts (nest/runtime.h):
//            the main thread runs the jobs; the bridge thread sets the stop flag; the worker
//            reads it and posts its finish message to the bridge window.
//   bridge_  the server thread and the pending-path slots (bridge/bridge.h): the server thread
//            writes the slots and posts messages; the main thread runs the window procedure.
//            It holds a reference to nest_'s stop flag, so it is declared after nest_.
//   bridgeWindow_  the message window whose procedure is bridge_'s; main thread only.
//   the commands of the group "QKS_STUDIO", whose functions call into this object; they run on
//            the main thread.
// The commands, the window procedure and the jobs queued for the main thread all refer to this
// object; the host drops them when it unloads the module, just after the runtime is destroyed.
#pragma once

#include "qks/bridge/bridge.h"
#include "qks/host/host.h"
#include "qks/nest/runtime.h"

namespace qks {

class PluginRuntime {
  public:
    // Holds nothing of the host yet: load() registers with it.
    PluginRuntime(host::Host& host, int hostGeneration);
    // Unload: stops the bridge, then any nest worker (without an output step), destroys the
    // bridge window and removes the commands.
    ~PluginRuntime();
    PluginRuntime(const PluginRuntime&) = delete;
    PluginRuntime& operator=(const PluginRuntime&) = delete;

    // Load: registers the seven commands, creates the bridge window if there is none yet, hands
    // it to the nest module and starts the bridge. Whatever it registered before a failure
    // stays registered until the runtime is destroyed.
    void load();

  private:
    std::string moduleFolder() const;
    // Writes the drawing window's display list of the current drawing's `layout`, with
    // `notice` for the window to show.
    void writeDrawingView(const std::string& layout, const std::string& notice);
    void addCommand(const char* name, host::CommandFunction function);

    host::Host& host_;
    const int hostGeneration_;
    nest::NestRuntime nest_;
    Bridge bridge_{nest_.nestStopRequested()};
    host::WindowHandle bridgeWindow_{};
};

}  // namespace qks
