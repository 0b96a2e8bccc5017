#include "qks/studio/ui/look.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

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

namespace {
const QString kWindowPlace = QStringLiteral("window/geometry");
}  // namespace

void showMainWindow(QWidget& window, const QString& iniPath) {
    const QSettings store(iniPath, QSettings::IniFormat);
    if (window.restoreGeometry(store.value(kWindowPlace).toByteArray())) {
        window.show();
        return;
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect room = screen->availableGeometry();
        const QSize size =
            (room.size() * 0.9).expandedTo(window.minimumSize()).boundedTo(room.size());
        window.setGeometry(
            QRect(room.center() - QPoint(size.width() / 2, size.height() / 2), size));
    }
    window.showMaximized();
}

bool saveMainWindowPlace(const QWidget& window, const QString& iniPath) {
    QSettings store(iniPath, QSettings::IniFormat);
    store.setValue(kWindowPlace, window.saveGeometry());
    store.sync();
    return store.status() == QSettings::NoError;
}

}  // namespace qks::studio
