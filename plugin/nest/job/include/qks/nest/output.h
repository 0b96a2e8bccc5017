// The nest output step: the best layout of a finished session as a new drawing (sheet frames,
// parts as blocks of their source geometry or as outlines, numbers, titles and parts lists),
// the job log's closing lines, and optionally one PDF per sheet.
//
// Threads: main thread only, in application context (it opens and closes a document).
#pragma once

#include <string>
#include <vector>

#include "qks/contract/nest_layout_format.h"
#include "qks/drawing/window.h"
#include "qks/host/drawing.h"
#include "qks/host/host.h"
#include "qks/nest/runtime.h"
#include "qks/nest/session.h"

namespace qks::nest {

inline constexpr const char* kFrameLayer = "QKS_NEST_FRAME";
inline constexpr const char* kPartLayer = "QKS_NEST_PART";
inline constexpr const char* kTextLayer = "QKS_NEST_TEXT";
// Stretches two neighbouring parts share, each drawn once (common-line jobs only).
inline constexpr const char* kCommonLayer = "QKS_COMMON";
inline constexpr double kSheetSpacing = contract::kNestSheetSpacing;

struct NestDrawingResult {
    std::string path;  // the file actually written; empty unless saved
    std::vector<drawing::PlotWindow> sheets;
    bool ok = false;
    std::string message;
    double commonSaved = 0.0;  // cut length the shared stretches save (mm), common-line jobs
};

// Handler of the worker's finish message: writes the drawing and the PDFs of the runtime's
// current session, then frees the job slot. Nothing happens without a current session.
void finishNestJob(host::Host& host, NestRuntime& runtime);

// The output step on a session whose layout is final: "NEST 正在生成套料图", the drawing, the
// layout file beside it (`edited` when given, else the session's own layout), the DONE and
// "NEST 已生成" lines and the sheet PDFs; a failure ends with a FATAL line.
void writeNestOutput(host::Host& host, const NestSession& session,
                     const contract::NestLayout* edited);

// The session's final layout as a drawing saved at its outDwg (a ".dwg" target is written as
// ".dxf"). The session's worker must have ended.
NestDrawingResult writeNestDrawing(host::Host& host, const NestSession& session);

// One PDF per window from the current document's model layout, named prefix_name.pdf in
// `folder`. True when every sheet was plotted; per-sheet lines go to the plot log channel.
bool plotSheetWindows(host::Host& host, const std::vector<drawing::PlotWindow>& windows,
                      const std::string& folder, const std::string& prefix,
                      const std::string& styleSheet, std::string& message);

// The layer's id, created with the colour when missing; null when it cannot be had.
host::ObjectId ensureLayer(host::DrawingEdits& ds, host::DatabaseId database,
                           const std::string& name, int colorIndex);
// A closed lightweight polyline on `layer`; fewer than three points add nothing.
void addClosedPolyline(host::DrawingEdits& ds, host::ObjectId modelSpace,
                       const std::vector<Point>& points, const std::string& layer);
// A bottom-left attached, unwrapped multiline text at (x, y).
void addLabelText(host::DrawingEdits& ds, host::ObjectId modelSpace, const std::string& contents,
                  double x, double y, double height, const std::string& layer);

}  // namespace qks::nest
