#pragma once
// "自动套料": parts from a selection in the host or from drawings, sheet stock and
// parameters, the nest job, and a live preview drawn from the files the job rewrites.

#include <QStringList>
#include <QVector>
#include <QWidget>

#include "qks/studio/files.h"
#include "qks/studio/partsfile.h"
#include "qks/studio/progressfile.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGraphicsScene;
class QGraphicsView;
class QLabel;
class QLineEdit;
class QLocalSocket;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class QTimer;

namespace qks::studio {

class NestPage : public QWidget {
    Q_OBJECT
  public:
    // `socket` is the window's bridge socket, not owned. Loads what an earlier run left in
    // the temporary folder and starts polling it.
    NestPage(QLocalSocket* socket, QWidget* parent);

    // Widgets; public so tests and scripted runs can drive the form.
    QLocalSocket* socket = nullptr;
    QLineEdit* outDirEdit = nullptr;
    QLineEdit* prefixEdit = nullptr;
    QLineEdit* layerEdit = nullptr;
    QPlainTextEdit* sheetEdit = nullptr;
    QDoubleSpinBox* gapSpin = nullptr;
    QDoubleSpinBox* marginSpin = nullptr;
    QDoubleSpinBox* cellSpin = nullptr;
    QDoubleSpinBox* secondsSpin = nullptr;
    QCheckBox* rotateCheck = nullptr;
    QCheckBox* mirrorCheck = nullptr;
    QComboBox* strategyCombo = nullptr;  // item data "standard" or "dense"
    QCheckBox* partInPartCheck = nullptr;
    QCheckBox* pdfCheck = nullptr;
    QTableWidget* partTable = nullptr;
    QLabel* partCountLabel = nullptr;
    QLabel* utilLabel = nullptr;
    QLabel* summaryLabel = nullptr;
    QLabel* stateChip = nullptr;
    QLabel* hintLabel = nullptr;
    QGraphicsView* nestView = nullptr;
    QGraphicsScene* scene = nullptr;
    QComboBox* sheetCombo = nullptr;
    QPlainTextEdit* logView = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* stopButton = nullptr;
    QTimer* pollTimer = nullptr;

    // The rotation choice in a row of the parts table (item data: PartRotation as int);
    // null past the last row.
    QComboBox* rotationCombo(int row) const;

    // State read from the job's files.
    const QVector<PartRow>& parts() const { return parts_; }
    const QVector<SheetLayout>& sheets() const { return sheets_; }
    const QString& source() const { return source_; }
    const QString& jobState() const { return jobState_; }
    bool running() const { return running_; }
    int currentSheet() const { return currentSheet_; }

  public slots:
    void pickFromCad();
    void chooseFiles();
    void useCurrentDrawing();
    void chooseOutDir();
    void start();
    void stop();
    void poll();
    void loadPartsFile();
    void loadProgressFile();
    void redrawPreview();

  private:
    void appendLog(const QString& line);
    void clearParts();
    void fillTable();
    void showTally();
    void onItemChanged(QTableWidgetItem* item);
    void showLogTail(int lines, bool trim);

    QVector<PartRow> parts_;
    QVector<SheetLayout> sheets_;
    QStringList files_;
    QString source_ = QStringLiteral("picked");
    SignatureWatch partsWatch_;
    SignatureWatch progressWatch_;
    GridFrame frame_;
    double utilisation_ = 0;
    int unplaced_ = 0;
    double elapsed_ = 0;
    int currentSheet_ = 0;
    QString jobState_;
    bool running_ = false;
    bool filling_ = false;
};

}  // namespace qks::studio
