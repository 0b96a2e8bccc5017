#pragma once
// Temporary-folder names shared with the plug-in, file signatures, and the drawing-file
// list rule used by the plot and merge pages.

#include <QString>
#include <QStringList>
#include <string_view>

#include "qks/contract/names.h"

namespace qks::studio {

// A shared name as QString.
inline QString fromContract(std::string_view name) {
    return QString::fromUtf8(name.data(), static_cast<int>(name.size()));
}

inline const QString kNestConfigName = fromContract(contract::kNestConfigFile);
inline const QString kNestPartsName = fromContract(contract::kNestPartsFile);
inline const QString kNestProgressName = fromContract(contract::kNestProgressFile);
inline const QString kNestLogName = fromContract(contract::kNestLogFile);
inline const QString kPlotConfigName = fromContract(contract::kPlotConfigFile);
inline const QString kPlotLogName = fromContract(contract::kPlotLogFile);
inline const QString kPlotFilesConfigName = fromContract(contract::kPlotFilesConfigFile);
inline const QString kPlotFilesLogName = fromContract(contract::kPlotFilesLogFile);
inline const QString kMergeConfigName = fromContract(contract::kMergeConfigFile);
inline const QString kMergeLogName = fromContract(contract::kMergeLogFile);
inline const QString kBomConfigName = fromContract(contract::kBomConfigFile);
inline const QString kBomLogName = fromContract(contract::kBomLogFile);
inline const QString kBomRowsName = fromContract(contract::kBomRowsFile);
inline const QString kToolsConfigName = fromContract(contract::kToolsConfigFile);
inline const QString kToolsLogName = fromContract(contract::kToolsLogFile);
inline const QString kToolsTablesName = fromContract(contract::kToolsTablesFile);

// `name` inside QDir::tempPath(), with forward slashes (the form the plug-in receives).
QString tempFilePath(const QString& name);

// "<mtime ms>-<size>" for an existing file, empty when it does not exist. A file is
// worth re-reading exactly when this is non-empty and differs from the last one seen.
QString fileSignature(const QString& path);

// Remembers the last signature of one file and answers whether it changed.
class SignatureWatch {
  public:
    // True when the file exists and its signature differs from the remembered one;
    // the new signature is remembered before the caller reads the file.
    bool changed(const QString& path);
    void forget() { last_.clear(); }

  private:
    QString last_;
};

// The paths of `candidates` that join a drawing list already holding `existing`:
// only suffix dwg/dxf (any case), no exact duplicate (of the list or of an earlier
// candidate), order kept.
QStringList acceptedDrawingPaths(const QStringList& existing, const QStringList& candidates);

// Absolute paths of the *.dwg and *.dxf files directly inside `folder`, in name order.
QStringList drawingFilesInFolder(const QString& folder);

// Whole file as bytes; empty when it cannot be read.
QByteArray readWholeFile(const QString& path);

// `folder` joined with `name` by one "/" (just `name` when the folder is empty).
QString joinPath(const QString& folder, const QString& name);

}  // namespace qks::studio
