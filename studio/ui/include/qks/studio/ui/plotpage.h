#pragma once
// "批量出图": PDF plotting of the current drawing or of a list of drawing files.

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QLocalSocket;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace qks::studio {

class JobFollow;

class PlotPage : public QWidget {
    Q_OBJECT
  public:
    // `socket` is the window's bridge socket, not owned.
    PlotPage(QLocalSocket* socket, QWidget* parent);

    bool running() const;

    // Widgets; public so tests and scripted runs can drive the form.
    QLocalSocket* socket = nullptr;
    QLineEdit* outDirEdit = nullptr;
    QLineEdit* prefixEdit = nullptr;
    QComboBox* styleCombo = nullptr;
    QComboBox* scopeCombo = nullptr;
    QComboBox* targetCombo = nullptr;
    QListWidget* fileList = nullptr;
    QWidget* fileButtons = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* openButton = nullptr;
    QPlainTextEdit* logView = nullptr;
    QLabel* statusLabel = nullptr;
    QTimer* pollTimer = nullptr;

  public slots:
    void start();
    void addFiles();
    void addFolder();
    void chooseOutDir();

  private:
    JobFollow* follow_ = nullptr;
};

}  // namespace qks::studio
