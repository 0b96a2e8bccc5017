#pragma once
// Temporary-folder names shared with the plug-in, file signatures, and the drawing-file
// list rule used by the plot and merge pages.

#include <QString>
#include <QStringList>

namespace qks::studio {

inline const QString kNestConfigName = QStringLiteral("qks_nest.cfg");
inline const QString kNestPartsName = QStringLiteral("qks_nest_parts.txt");
inline const QString kNestProgressName = QStringLiteral("qks_nest_progress.txt");
inline const QString kNestLogName = QStringLiteral("qks_nest.log");
inline const QString kPlotConfigName = QStringLiteral("qks_plot.cfg");
inline const QString kPlotLogName = QStringLiteral("qks_plot.log");
inline const QString kPlotFilesConfigName = QStringLiteral("qks_plot_files.cfg");
inline const QString kPlotFilesLogName = QStringLiteral("qks_plot_files.log");
inline const QString kMergeConfigName = QStringLiteral("qks_merge.cfg");
inline const QString kMergeLogName = QStringLiteral("qks_merge.log");

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
