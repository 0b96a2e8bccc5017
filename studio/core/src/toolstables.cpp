#include "qks/studio/toolstables.h"

#include <algorithm>

#include "contract_text.h"
#include "qks/contract/tools.h"

namespace qks::studio {
namespace {

QStringList texts(const std::vector<std::string>& fields, int width) {
    QStringList out;
    for (const std::string& field : fields)
        out << detail::fieldText(field);
    while (out.size() < width)
        out << QString();
    return out;
}

}  // namespace

QVector<ToolsTable> parseToolsTables(const QByteArray& bytes) {
    QVector<ToolsTable> tables;
    for (const contract::ResultTable& read :
         contract::readTables(detail::fileText(bytes), detail::studioReadRules())) {
        std::size_t width = read.headers.size();
        for (const auto& row : read.rows)
            width = std::max(width, row.size());
        ToolsTable table;
        table.name = detail::fieldText(read.name);
        table.headers = texts(read.headers, static_cast<int>(width));
        for (const auto& row : read.rows)
            table.rows.append(texts(row, static_cast<int>(width)));
        tables.append(table);
    }
    return tables;
}

}  // namespace qks::studio
