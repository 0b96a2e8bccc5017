// Names both sides must spell alike: the job files in the temporary folder and the bridge's
// command and reply words.
#pragma once

#include <string_view>

namespace qks::contract {

// Job files, relative to the temporary folder.
inline constexpr std::string_view kNestConfigFile = "qks_nest.cfg";
inline constexpr std::string_view kNestPartsFile = "qks_nest_parts.txt";
inline constexpr std::string_view kNestProgressFile = "qks_nest_progress.txt";
inline constexpr std::string_view kNestLogFile = "qks_nest.log";
inline constexpr std::string_view kPlotConfigFile = "qks_plot.cfg";
inline constexpr std::string_view kPlotLogFile = "qks_plot.log";
inline constexpr std::string_view kPlotFilesConfigFile = "qks_plot_files.cfg";
inline constexpr std::string_view kPlotFilesLogFile = "qks_plot_files.log";
inline constexpr std::string_view kMergeConfigFile = "qks_merge.cfg";
inline constexpr std::string_view kMergeLogFile = "qks_merge.log";
inline constexpr std::string_view kBomConfigFile = "qks_bom.cfg";
inline constexpr std::string_view kBomLogFile = "qks_bom.log";
// The BOM job's rows, for the Studio's table: written whole beside the log after every run.
inline constexpr std::string_view kBomRowsFile = "qks_bom_rows.txt";
inline constexpr std::string_view kToolsConfigFile = "qks_tools.cfg";
inline constexpr std::string_view kToolsLogFile = "qks_tools.log";
// The drawing tools' result tables (areas, attributes), for the Studio: written whole after
// every run.
inline constexpr std::string_view kToolsTablesFile = "qks_tools_tables.txt";
// The nest drawing in the output folder when the config names none: written as DXF, so named
// as what is written.
inline constexpr std::string_view kNestDrawingFile = "套料图.dxf";
// The drawing window's display list of the host's current drawing (view_format.h), and the
// selection the window is asked for while a command waits for one.
inline constexpr std::string_view kViewFile = "qks_view.bin";
inline constexpr std::string_view kViewPromptFile = "qks_prompt.txt";

// The bridge: the local socket's server name, one request per line.
inline constexpr std::string_view kBridgeServerName = "qksstudio";
inline constexpr std::string_view kPingWord = "PING";  // reply: "PONG <version>"
inline constexpr std::string_view kPongWord = "PONG";
inline constexpr std::string_view kVersionWord = "VERSION";
inline constexpr std::string_view kPlotWord = "PLOT";
inline constexpr std::string_view kPlotFilesWord = "PLOTFILES";  // followed by " <config path>"
inline constexpr std::string_view kMergeWord = "MERGE";          // followed by " <config path>"
inline constexpr std::string_view kNestWord = "NEST";            // followed by " <config path>"
inline constexpr std::string_view kBomWord = "BOM";              // followed by " <config path>"
inline constexpr std::string_view kToolsWord = "TOOLS";          // followed by " <config path>"
inline constexpr std::string_view kNestPickWord = "NESTPICK";
inline constexpr std::string_view kNestStopWord = "NESTSTOP";
// "NESTADJUST <layout path>": check an adjusted nest layout (nest_layout_format.h) and draw it;
// the answer is the log kNestAdjustLogFile.
inline constexpr std::string_view kNestAdjustWord = "NESTADJUST";
// The drawing window: "VIEW [layout]" writes the display list of the current drawing (model
// space when no layout is named); "OPEN <drawing path>" opens a drawing, or brings an open one
// forward, as the current drawing and writes its display list; "SELECT <selection line>"
// answers the selection the window was asked for (an empty line cancels it).
inline constexpr std::string_view kViewWord = "VIEW";
inline constexpr std::string_view kOpenWord = "OPEN";
inline constexpr std::string_view kSelectWord = "SELECT";
inline constexpr std::string_view kQueuedReply = "QUEUED";
inline constexpr std::string_view kOkReply = "OK";
// The bridge's refusals: a line it does not know, a "SELECT" whose serial is not a number, and
// one that answers no selection the window was asked for.
inline constexpr std::string_view kUnknownReply = "ERR unknown";
inline constexpr std::string_view kBadSelectionReply = "ERR bad selection";
inline constexpr std::string_view kNoSelectionAskedReply = "ERR no selection asked";

}  // namespace qks::contract
