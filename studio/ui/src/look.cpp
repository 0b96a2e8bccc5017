#include "qks/studio/ui/look.h"

#include <QApplication>
#include <QFile>
#include <QFont>

// The resource lives in a static library: register it before first use.
static void registerStudioResources() {
    Q_INIT_RESOURCE(studio);
}

namespace qks::studio {

QString studioStyleSheet() {
    registerStudioResources();
    QFile file(QStringLiteral(":/style.qss"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

bool applyStudioLook(QApplication& app) {
    QApplication::setApplicationName(QStringLiteral("QksStudio"));
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    QFont font(QStringLiteral("Microsoft YaHei UI"));
    font.setPointSize(10);
    QApplication::setFont(font);
    const QString sheet = studioStyleSheet();
    if (sheet.isEmpty()) return false;
    app.setStyleSheet(sheet);
    return true;
}

}  // namespace qks::studio
