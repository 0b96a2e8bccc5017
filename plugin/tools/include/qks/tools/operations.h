// The drawing tools' operations on one drawing's model space, each callable on its own.
// Lengths are drawing units unless a name says mm; counts say what changed.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "qks/common/job_log.h"
#include "qks/contract/config_keys.h"
#include "qks/contract/tools.h"
#include "qks/host/drawing.h"

namespace qks::tools {

// ---- 清理冗余
struct CleanOptions {
    double tolerance = 1e-3;  // duplicate and collinear lines
    double joinTolerance = contract::kDefaultJoinTolerance;
    double shortLength = 0.0;  // lines shorter than this go; 0 keeps them
    bool explode = false;
};
struct CleanCounts {
    int exploded = 0, notExploded = 0;
    int zeroLength = 0, shortLines = 0;
    int duplicates = 0;      // exact copies removed (lines, arcs, circles, polylines)
    int overlapsMerged = 0;  // collinear overlapping lines that became one
    int chains = 0;          // polylines made by joining
    int chainPieces = 0;     // curves they replaced
};
CleanCounts cleanDrawing(host::DrawingEdits& ds, host::ObjectId space, const CleanOptions& options);

// ---- 图层规范
struct LayerCounts {
    int changed = 0;
    int layersCreated = 0;
};
LayerCounts applyLayerRules(host::DrawingEdits& ds, host::DatabaseId database, host::ObjectId space,
                            const std::vector<contract::LayerRule>& rules);
// "*" any run, "?" one character; ASCII case ignored.
bool layerPatternMatches(const std::string& pattern, const std::string& name);

// ---- 面积与周长 (mm, mm²)
struct PartMeasure {
    std::string name;
    double area = 0.0;       // outline less holes
    double perimeter = 0.0;  // outline and holes
    double outlinePerimeter = 0.0;
    int holes = 0;
    double centreX = 0.0, centreY = 0.0;                    // drawing units, for a label
    double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;  // drawing units
    std::vector<std::pair<double, double>> circleHoles;     // centre x, y (drawing units)
    std::vector<double> circleDiameters;                    // drawing units
    double anchorX = 0.0, anchorY = 0.0;  // the outline point nearest its top right corner
};
std::vector<PartMeasure> measureParts(host::DrawingAccess& ds, host::DatabaseId database,
                                      const std::string& source, double joinToleranceMm,
                                      LogChannel channel);
int labelAreas(host::DrawingEdits& ds, host::DatabaseId database, host::ObjectId space,
               const std::vector<PartMeasure>& parts, double textHeight);

// ---- 文字与属性提取
struct AttributeRow {
    std::string block;
    double x = 0.0, y = 0.0;
    std::vector<std::pair<std::string, std::string>> values;  // tag, text in stored order
};
std::vector<AttributeRow> collectAttributes(host::DrawingAccess& ds, host::ObjectId space);
struct FrameText {
    int frame = 0;  // 1-based, reading order
    std::string name;
    std::vector<std::string> texts;
};
std::vector<FrameText> collectFrameTexts(host::DrawingAccess& ds, host::DatabaseId database);

// ---- 一键长宽标注, 孔位与折弯标注, 编号气泡 (drawing units; text height too)
struct AnnotationCounts {
    int dimensions = 0;
    int failed = 0;   // the host could not add them
    int skipped = 0;  // slanted bend lines
};
// The dimension style "QKS" with a Chinese-capable text style; null when it cannot be made.
host::ObjectId ensureDimensionStyle(host::DrawingEdits& ds, host::DatabaseId database,
                                    double textHeight);
AnnotationCounts dimensionExtents(host::DrawingEdits& ds, host::ObjectId space,
                                  host::ObjectId style, const std::vector<PartMeasure>& parts,
                                  double textHeight);
AnnotationCounts dimensionHolesAndBends(host::DrawingEdits& ds, host::DatabaseId database,
                                        host::ObjectId space, host::ObjectId style,
                                        const std::vector<PartMeasure>& parts, double textHeight);
// Parts in reading order: rows from the top, left to right in a row (indices into `parts`).
std::vector<std::size_t> readingOrder(const std::vector<PartMeasure>& parts);
AnnotationCounts numberParts(host::DrawingEdits& ds, host::DatabaseId database,
                             host::ObjectId space, const std::vector<PartMeasure>& parts,
                             double textHeight);

// ---- 倒角与圆角: closed straight-edged polylines' corners
struct CornerCounts {
    int rounded = 0;
    int leftAlone = 0;  // neighbouring edges too short, or an arc beside the corner
};
CornerCounts roundCorners(host::DrawingEdits& ds, host::ObjectId space, double radius,
                          double chamfer);

}  // namespace qks::tools
