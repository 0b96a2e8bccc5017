#pragma once
// The Studio's side of the shared formats: its lexical rules (Qt's white space and whole-field
// number conversion) applied to the UTF-8 text the shared readers hand out, and the text of
// fields as QString.

#include <QByteArray>
#include <QString>
#include <string_view>

#include "qks/contract/read_rules.h"

namespace qks::studio::detail {

// The field as QString::fromUtf8 decodes it inside the whole file: invalid bytes become
// U+FFFD, and a byte-order mark is a character unless it opens the file.
QString fieldText(std::string_view field);

// QString::trimmed, QString::toInt and QString::toDouble on the decoded text.
const contract::ReadRules& studioReadRules();

// The file's bytes without the byte-order mark that QString::fromUtf8 drops from its start.
std::string_view fileText(const QByteArray& bytes);

}  // namespace qks::studio::detail
