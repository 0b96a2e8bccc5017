#pragma once
// The sheet-metal settings the Studio keeps for the BOM job: its materials and the values a
// part takes when its drawing names none. They live in the Studio's INI file and travel to
// each job inside its config: the plug-in never reads this file.

#include <QString>
#include <optional>
#include <vector>

#include "qks/contract/bom.h"

namespace qks::studio {

struct BomSettings {
    std::vector<contract::Material> materials;
    QString defaultMaterial;
    double defaultThickness = contract::kDefaultThickness;  // mm
    double defaultRadius = contract::kDefaultBendRadius;    // mm, inner
};

// The contract's materials and defaults: what a first start shows.
BomSettings defaultBomSettings();

// The user's settings file: INI, organisation "Corvane", application "QksStudio", in the
// folder QSettings gives the user scope (which tests move with QSettings::setPath).
QString studioSettingsPath();

// What `iniPath` holds. Without one usable material the seeded table comes back; a default
// material missing from the table becomes the table's first; a thickness or radius out of
// range takes the contract's default.
BomSettings loadBomSettings(const QString& iniPath);
// False when the file could not be written.
bool saveBomSettings(const QString& iniPath, const BomSettings& settings);

// A name a config line can carry ("material NAME=..."): not empty, no "=", no control
// character, no blank at either end.
bool usableMaterialName(const QString& name);

// The material named `name` in `settings`; null when there is none.
const contract::Material* findMaterial(const BomSettings& settings, const QString& name);

// The K factors by thickness as the settings table shows them: "1:0.38, 3:0.42".
QString kFactorRangesText(const contract::Material& material);
// A material from the settings table's cells; the ranges may be separated by commas,
// semicolons or blanks, also full-width ones. Null when the contract's parser refuses it.
std::optional<contract::Material> materialFromCells(const QString& name, const QString& density,
                                                    const QString& kFactor, const QString& ranges);

}  // namespace qks::studio
