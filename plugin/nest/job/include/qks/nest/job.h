// The nest job driver: reads the job config, gathers part kinds from the chosen source,
// publishes the parts and progress files and starts the session's worker. The output step
// (output.h) runs when the worker has posted its finish message.
//
// Threads: main thread only. All outcomes go to the nest log channel; nothing throws.
#pragma once

#include <string>

#include "qks/host/host.h"
#include "qks/nest/runtime.h"

namespace qks::nest {

// QKNEST and the bridge's "NEST " request. `configPath` empty: the default job config in the
// temporary folder. Does nothing at all while another nest job of `runtime` is active; else the
// job takes the runtime's slot and starts its worker.
void runNestJob(host::Host& host, NestRuntime& runtime, const std::string& configPath);

// The bridge's "NESTADJUST <layout path>": reads the layout (nest_layout_format.h), checks it
// exactly on the outlines (layout_check.h) and, when it passes, writes the nest drawing, its
// layout file and the sheet PDFs as the output step does; the log is kNestAdjustLogFile in the
// temporary folder, faults as ERR lines naming the parts and one FATAL line. Refused while a
// nest job of `runtime` is active. A current document that is the drawing is read again.
void runNestAdjust(host::Host& host, NestRuntime& runtime, const std::string& layoutPath);

// QKNESTPICK: parts from a selection in the current drawing, published as the parts file.
void runNestPick(host::Host& host);

}  // namespace qks::nest
