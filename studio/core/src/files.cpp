#include "qks/studio/files.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace qks::studio {

QString tempFilePath(const QString& name) {
    return joinPath(QDir::tempPath(), name);
}

QString joinPath(const QString& folder, const QString& name) {
    if (folder.isEmpty()) return name;
    if (folder.endsWith(QLatin1Char('/'))) return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString fileSignature(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) return {};
    return QStringLiteral("%1-%2").arg(info.lastModified().toMSecsSinceEpoch()).arg(info.size());
}

bool SignatureWatch::changed(const QString& path) {
    const QString now = fileSignature(path);
    if (now.isEmpty() || now == last_) return false;
    last_ = now;
    return true;
}

QStringList acceptedDrawingPaths(const QStringList& existing, const QStringList& candidates) {
    QSet<QString> seen(existing.begin(), existing.end());
    QStringList accepted;
    for (const QString& path : candidates) {
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (suffix != QLatin1String("dwg") && suffix != QLatin1String("dxf")) continue;
        if (seen.contains(path)) continue;
        seen.insert(path);
        accepted.append(path);
    }
    return accepted;
}

QStringList drawingFilesInFolder(const QString& folder) {
    const QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList(
        {QStringLiteral("*.dwg"), QStringLiteral("*.dxf")}, QDir::Files | QDir::Hidden, QDir::Name);
    QStringList paths;
    for (const QFileInfo& entry : entries)
        paths.append(entry.absoluteFilePath());
    return paths;
}

QByteArray readWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

}  // namespace qks::studio
