#pragma once
// "图纸合并": many drawings laid out in a grid on one new drawing.

#include <QWidget>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QLocalSocket;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTimer;

namespace qks::studio {

class JobFollow;

class MergePage : public QWidget {
    Q_OBJECT
  public:
    // `socket` is the window's bridge socket, not owned.
    MergePage(QLocalSocket* socket, QWidget* parent);

    bool running() const;

    // Widgets; public so tests and scripted runs can drive the form.
    QLocalSocket* socket = nullptr;
    QListWidget* fileList = nullptr;
    QLineEdit* outEdit = nullptr;
    QSpinBox* columnsSpin = nullptr;
    QDoubleSpinBox* spacingSpin = nullptr;
    QCheckBox* pdfCheck = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* openButton = nullptr;
    QPlainTextEdit* logView = nullptr;
    QLabel* statusLabel = nullptr;
    QTimer* pollTimer = nullptr;

  public slots:
    void start();
    void addFiles();
    void addFolder();
    void removeSelected();
    void chooseOutput();

  private:
    JobFollow* follow_ = nullptr;
};

}  // namespace qks::studio
