#pragma once
// The result tables the drawing-tools job writes after every run ("qks_tools_tables.txt"):
// areas and perimeters, frame texts and one table per block name, as the tools page lists them.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

namespace qks::studio {

struct ToolsTable {
    QString name;
    QStringList headers;
    QVector<QStringList> rows;
};

// Every table of the file, in file order, read with the Studio's rules. Headers and rows are
// filled with empty cells up to the table's widest line, so every row has a cell per column:
// trimming a line drops the empty cells at its end.
QVector<ToolsTable> parseToolsTables(const QByteArray& bytes);

}  // namespace qks::studio
