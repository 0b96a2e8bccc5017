#include "qks/studio/recentdrawings.h"

#include "settings_store.h"

namespace qks::studio {
namespace {

const QString kRecentKey = QStringLiteral("drawing/recent");

}  // namespace

QStringList recentDrawings(const QString& iniPath) {
    return detail::openSettings(iniPath)->value(kRecentKey).toStringList();
}

void rememberRecentDrawing(const QString& iniPath, const QString& path) {
    const auto settings = detail::openSettings(iniPath);
    QStringList recent = settings->value(kRecentKey).toStringList();
    recent.removeAll(path);
    recent.prepend(path);
    while (recent.size() > kMaxRecentDrawings)
        recent.removeLast();
    settings->setValue(kRecentKey, recent);
}

}  // namespace qks::studio
