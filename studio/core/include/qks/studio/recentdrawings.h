#pragma once
// The drawings the drawing window opened last, kept in the Studio's settings file.

#include <QString>
#include <QStringList>

namespace qks::studio {

// Most recent first; at most kMaxRecentDrawings.
constexpr int kMaxRecentDrawings = 10;
QStringList recentDrawings(const QString& iniPath);
// Puts `path` first (once) and drops the oldest beyond the limit.
void rememberRecentDrawing(const QString& iniPath, const QString& path);

}  // namespace qks::studio
