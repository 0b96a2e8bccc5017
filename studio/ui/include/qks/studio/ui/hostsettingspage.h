#pragma once
// "连接测试": which qkshost the Studio starts when no bridge answers, and the state of the link.
// The path is saved to the Studio's settings file; QKS_HOST, when set, still comes first.

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qks::studio {

class HostSettingsPage : public QWidget {
    Q_OBJECT
  public:
    // Shows the path `iniPath` holds and saves there.
    HostSettingsPage(QString iniPath, QWidget* parent);

    // What the window reports about the host in use, shown under the path.
    void setHostInfo(const QString& text);

    // Widgets; public so tests and scripted runs can drive the form.
    QPushButton* backButton = nullptr;
    QLineEdit* programEdit = nullptr;
    QPushButton* chooseButton = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* testButton = nullptr;
    QLabel* hostInfoLabel = nullptr;
    QLabel* messageLabel = nullptr;

  public slots:
    // Saves the path (empty: none kept); a path that is not an executable file is refused.
    void save();

  signals:
    void saved(const QString& program);
    // "连接测试": the window connects, starting the host when none answers.
    void connectRequested();
    void backRequested();

  private:
    QString iniPath_;
};

}  // namespace qks::studio
