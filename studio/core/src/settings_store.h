#pragma once
// What the Studio's settings stores share: the INI file opened as they all read and write it.

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace qks::studio::detail {

// `iniPath` as INI in UTF-8, so names with CJK characters stay readable in the file.
inline std::unique_ptr<QSettings> openSettings(const QString& iniPath) {
    auto store = std::make_unique<QSettings>(iniPath, QSettings::IniFormat);
    store->setIniCodec("UTF-8");
    return store;
}

// QSettings reads an unquoted INI value holding commas back as a list; a hand-edited file may
// have one, so both forms count.
inline QString settingsText(const QVariant& value) {
    if (value.type() == QVariant::StringList) return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

}  // namespace qks::studio::detail
