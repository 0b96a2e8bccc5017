#pragma once
// The layer and colour rules the Studio keeps for the 图层规范 operation. They live in the
// Studio's INI file beside the sheet-metal settings and travel to each job as "rule" lines: the
// plug-in never reads this file.

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "qks/contract/tools.h"

namespace qks::studio {

using LayerRules = std::vector<contract::LayerRule>;

// The columns of the rules table: four that match an entity, four that set its properties.
enum LayerRuleField {
    kMatchLayer,
    kMatchColor,
    kMatchLinetype,
    kMatchKind,
    kSetLayer,
    kSetColor,
    kSetLinetype,
    kSetLineweight,
    kLayerRuleFieldCount
};

// A rule's fields in table order.
QStringList layerRuleCells(const contract::LayerRule& rule);

// A rule from the table's cells, each trimmed. Null when a config line could not carry it or
// the job could not apply it: not eight cells, a comma or control character in a cell, a colour
// other than an ACI number 0-256, a line weight other than -3 to 211 (hundredths of a mm), a new
// layer name with a character layer names refuse, or every cell empty. A rule that matches
// something and sets nothing keeps what it matches (the defaults keep block references so).
std::optional<contract::LayerRule> layerRuleFromCells(const QStringList& cells);

// The usable rules `iniPath` holds, in order; the contract's defaults when it holds none.
LayerRules loadLayerRules(const QString& iniPath);
// False when the file could not be written.
bool saveLayerRules(const QString& iniPath, const LayerRules& rules);

}  // namespace qks::studio
