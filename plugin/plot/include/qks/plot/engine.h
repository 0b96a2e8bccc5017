// PDF pages through the host's publish engine: one page per PDF file, set up the plug-in's way
// (PDF device, an ISO A-size medium, millimetres, the job's style sheet, scale to fit,
// centred) with fall-backs to the layout's own page setup. Whatever happens, a layout's page
// setup is put back as it was before the operation returns.
//
// Threads: main thread only. Messages are Chinese UTF-8 texts; a false result always comes
// with one. Fall-backs that succeed are logged as WARN lines on the plot log channel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qks/drawing/window.h"
#include "qks/host/drawing.h"
#include "qks/job/driver.h"

namespace qks::plot {

// The PDF device, byte for byte as the host names it.
inline constexpr const char* kPdfDevice = "DWG To PDF.pc3";

// What one batch of PDFs needs: the device (empty: none loaded) and a publish engine.
struct PlotSession {
    std::string device;
    host::PublishEngineId engine;
};

// Pages: the plot jobs count what they plot, not the drawings.
using PlotTally = job::Tally;

// The style sheet the last applyPdfDevice left in force ("<沿用布局>" when the layout's own);
// only read to explain a validation failure. Process-wide, main thread only.
std::string& effectiveStyleSheet();

// Loads the PDF device and creates and begins a publish engine. False with "无法加载 DWG To
// PDF.pc3" or "无法创建出版引擎".
bool openPlotSession(host::PlotServices& ds, PlotSession& session, std::string& message);
// Ends the plot and destroys the engine; the session is empty afterwards.
void closePlotSession(host::PlotServices& ds, PlotSession& session);

bool isFullBleedMedia(const std::string& media);
// The medium for `currentMedia` on `device`: the current one when the device has it and it
// is not full-bleed, else the first (non-full-bleed, then any) medium containing a keyword,
// else the device's first medium. Without a device the current medium is kept.
std::string chooseMedia(host::PlotServices& ds, const std::string& device,
                        const std::string& currentMedia, const std::vector<std::string>& keywords);
// The same rule over a given media list (the device's canonical names in list order).
std::string chooseMediaFromList(const std::vector<std::string>& media,
                                const std::string& currentMedia,
                                const std::vector<std::string>& keywords);
// PDF device, chosen medium, millimetres and the requested style sheet (empty: keep the
// layout's) on `pageSetup`.
void applyPdfDevice(host::PlotServices& ds, host::PlotSettings& pageSetup,
                    const std::string& device, const std::string& style,
                    const std::vector<std::string>& keywords);
void setExtentsFit(host::PlotServices& ds, host::PlotSettings& pageSetup);
void setWindowFit(host::PlotServices& ds, host::PlotSettings& pageSetup,
                  const drawing::PlotWindow& window);

// Validates the layout's page setup (with `device` as override when not empty) and plots it
// to `pdfPath` as one document of one page.
bool plotValidatedPage(host::PlotServices& ds, host::PublishEngineId engine, host::ObjectId layout,
                       const std::string& documentName, const std::string& device,
                       const std::string& pdfPath, std::string& message);

bool plotLayoutToPdf(host::PlotServices& ds, host::PublishEngineId engine, host::ObjectId layout,
                     const std::string& layoutName, const std::string& device,
                     const std::string& style, const std::string& pdfPath, std::string& message);
bool plotModelExtentsToPdf(host::PlotServices& ds, host::PublishEngineId engine,
                           host::ObjectId modelLayout, const std::string& name,
                           const std::string& device, const std::string& style,
                           const std::string& pdfPath, std::string& message);
bool plotWindowToPdf(host::PlotServices& ds, host::PublishEngineId engine,
                     host::ObjectId modelLayout, const drawing::PlotWindow& window,
                     const std::string& name, const std::string& device, const std::string& style,
                     const std::string& pdfPath, std::string& message);

// Keywords of a paper's long side (millimetres): the one matching A-size, or ("a4", "a3").
std::vector<std::string> paperKeywords(double longSideMm);

}  // namespace qks::plot
