#pragma once
// Job configs the pages hand to the plug-in: each page's form as the contract's config record
// (qks/contract/job_configs.h), whose writer makes the config text.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <string>
#include <vector>

#include "qks/contract/bom.h"
#include "qks/contract/config_keys.h"
#include "qks/contract/job_configs.h"
#include "qks/contract/states.h"
#include "qks/contract/tools.h"

namespace qks::studio {

struct PartRow;

// Numbers in general notation, 6 significant digits, no trailing zeros: 5, 0.5, 12.
QString formatGeneral(double value);

// The unit the plug-in reads the drawings in: each drawing's own header unit, or one unit
// for every drawing of the job (for drawings whose header names the wrong one).
using contract::DrawingUnits;

// The nest form as the user left it; nestJobConfig applies the trimming rules itself.
struct NestForm {
    contract::PartSource source = contract::PartSource::Picked;
    QStringList files;  // used only for source Files
    QString layerText;
    QString outDirText;
    QString prefixText;
    QString sheetText;  // one sheet kind per line, passed on unparsed
    double gap = contract::kDefaultGap;
    double margin = contract::kDefaultMargin;
    double cell = contract::kDefaultCell;
    double seconds = 12;
    bool rotate = true;
    bool mirror = true;
    bool pdf = false;
    // The dense search keeps improving the layout for as long as it is given; parts inside
    // the holes of other parts are tried only by that search.
    bool strategyDense = false;
    bool partInPart = false;
    // Neighbouring parts share one cut along straight edges.
    bool commonLine = false;
    DrawingUnits units = DrawingUnits::Auto;
    // The nest drawing: bend lines, marks and texts travel with their parts (the plug-in's
    // default), and labels name the placed parts.
    bool carry = true;
    bool labels = false;
    QString stockFile;    // drawing of irregular stock pieces; written only when set
    bool offcut = false;  // written only when set
    // A layout file of this session whose locked parts stay where they lie; written only when
    // set (保留已锁定零件).
    QString keepLocked;
};

// The record of "qks_nest.cfg". Every part row gives one quantity: its own when enabled, 0
// when not; and a rotation unless it follows the form. Text fields trimmed, empty sheet lines
// left out, part-in-part only with the dense strategy.
contract::NestJobConfig nestJobConfig(const NestForm& form, const QVector<PartRow>& parts,
                                      const QString& partsFilePath, const QString& logPath);

// The nest page's strategy as the user last chose it (`[nest] strategy` in the Studio's settings
// file at `iniPath`): the dense search unless the standard one was chosen, since it spends the
// least steel. Saving returns false when the file cannot be written.
bool loadNestDenseSetting(const QString& iniPath);
bool saveNestDenseSetting(const QString& iniPath, bool dense);

struct PlotForm {
    QString outDir;  // already trimmed and checked by the page
    QString prefixText;
    QString style;
    QString scope;
    QString logPath;
    bool filesTarget = false;
    QStringList files;
};
// The records of "qks_plot.cfg" and (filesTarget) "qks_plot_files.cfg": the prefix trimmed.
contract::PlotJobConfig plotJobConfig(const PlotForm& form);
contract::PlotFilesJobConfig plotFilesJobConfig(const PlotForm& form);

struct MergeForm {
    QString out;        // output drawing, ending in .dwg
    QString outFolder;  // absolute folder of `out`
    int columns = contract::kDefaultMergeColumns;
    double spacing = contract::kDefaultMergeSpacing;
    bool pdf = true;
    QString logPath;
    QStringList files;
};
contract::MergeJobConfig mergeJobConfig(const MergeForm& form);

struct BomSettings;
struct BomEdit;

// What the BOM and the tools pages ask alike: the drawings, where results go, the job log.
struct DrawingJobForm {
    bool currentDrawing = false;  // the host's current drawing instead of `files`
    QStringList files;
    QString outDir;  // already trimmed and made by the page
    QString logPath;
};

struct BomForm : DrawingJobForm {
    QString workbookText;
    bool csv = false;
    bool package = false;
    bool zip = false;  // of the delivery folder, so only with `package`
    QString nestFolderText;
    QString profileLayerText;
    double profileWidth = contract::kDefaultProfileWidth;
};
// The record of "qks_bom.cfg": the form, the settings' materials and defaults (the job knows no
// others), and one edit per changed row. Optional text left empty is not set, so the job applies
// its own defaults; an empty workbook name is the default one, zip only with the package.
contract::BomJobConfig bomJobConfig(const BomForm& form, const BomSettings& settings,
                                    const QVector<BomEdit>& edits);

// The drawing-tools operations, in the order the job runs them whatever order they were
// chosen in: the drawing is cleaned and put on its layers before corners are rounded, parts
// are measured on the final outlines, and annotation comes last so nothing moves under it.
using contract::ToolOperation;
inline constexpr int kToolOperationCount = 8;

// What the operations read besides the drawings; the page offers an option only while an
// operation that reads it is chosen, and the config carries only those.
// JoinTolerance: clean-up and every operation that finds the parts; CleanUp: short lines,
// exploding references; TextHeight: area labels and the annotations; Workbook: the tables of
// areas and attributes.
using contract::ToolOption;
bool toolsUse(const QList<ToolOperation>& operations, ToolOption option);

// Corners are either rounded (a fillet of the given radius) or cut (a chamfer of that length).
enum class CornerShape { Fillet, Chamfer };

struct ToolsForm : DrawingJobForm {
    QList<ToolOperation> operations;  // any order; repeats count once
    QString workbookText;
    double joinTolerance = contract::kDefaultJoinTolerance;  // mm
    double shortLength = contract::kDefaultShortLength;      // mm; 0 keeps short lines
    bool explode = false;
    CornerShape corner = CornerShape::Fillet;
    double cornerSize = 5;  // mm
    bool areaLabels = false;
    double textHeight = contract::kDefaultAnnotationTextHeight;  // mm
};
// The record of "qks_tools.cfg": the operations in run order (the writer writes only the options
// of the operations that run), the corner size as a fillet's radius or a chamfer's length.
contract::ToolsJobConfig toolsJobConfig(const ToolsForm& form,
                                        const std::vector<contract::LayerRule>& rules);

// A config text as the job file's bytes.
QByteArray jobFileBytes(const std::string& text);

// The merge output with ".dwg" appended unless it already ends so (any case).
QString withDwgSuffix(const QString& path);

// Replaces `path` by `content`, through a file beside it renamed over it, so the old content
// stays whole when the write fails. False when the new content could not be put in place.
bool writeJobFile(const QString& path, const QByteArray& content);

// Empties (or creates) a job log so its tail starts from nothing.
bool truncateFile(const QString& path);

}  // namespace qks::studio
