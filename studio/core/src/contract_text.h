#pragma once
// The Studio's side of the shared formats: its lexical rules (Qt's white space and whole-field
// number conversion) applied to the UTF-8 text the shared readers hand out, the text of fields
// as QString, and points as Qt points.

#include <QByteArray>
#include <QString>
#include <string_view>
#include <vector>

#include "qks/contract/part.h"
#include "qks/contract/read_rules.h"
#include "qks/studio/partsfile.h"

namespace qks::studio::detail {

// The field as QString::fromUtf8 decodes it inside the whole file: invalid bytes become
// U+FFFD, and a byte-order mark is a character unless it opens the file.
QString fieldText(std::string_view field);

// QString::trimmed, QString::toInt and QString::toDouble on the decoded text.
const contract::ReadRules& studioReadRules();

Contour toContour(const std::vector<contract::Point>& points);
std::vector<contract::Point> toPoints(const Contour& contour);

// The file's bytes as QString::fromUtf8 reads them: up to the first NUL, without the byte-order
// mark it drops from the start.
std::string_view fileText(const QByteArray& bytes);

}  // namespace qks::studio::detail
