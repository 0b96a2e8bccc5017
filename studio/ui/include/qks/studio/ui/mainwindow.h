#pragma once
// The Studio window: sidebar navigation, header with the connection chip, six pages and
// the footer. It owns the one bridge socket every job page writes to.

#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QString>
#include <QVector>

class QLabel;
class QLocalSocket;
class QPushButton;
class QStackedWidget;

namespace qks::studio {

class PlotPage;
class MergePage;
class NestPage;
class BomPage;
class BomSettingsPage;
class ToolsPage;
class LayerRulesPage;

using CardList = QVector<QPair<QString, QString>>;  // (title, description)

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    QWidget* buildSectionPage(const QString& section, const CardList& cards);
    QWidget* buildCard(const QString& title, const QString& description, const QString& badge);

    // Widgets, in the window's own order; public so tests and scripted runs can drive them.
    QLocalSocket* socket = nullptr;
    QStackedWidget* stack = nullptr;
    QLabel* statusDot = nullptr;
    QLabel* statusText = nullptr;
    QLabel* footer = nullptr;
    QPushButton* connectButton = nullptr;
    QList<QPushButton*> navButtons;
    PlotPage* plotPage = nullptr;
    MergePage* mergePage = nullptr;
    NestPage* nestPage = nullptr;
    // Tool pages the cards open; they follow the six pages of the navigation in the stack.
    BomPage* bomPage = nullptr;
    BomSettingsPage* bomSettingsPage = nullptr;
    ToolsPage* toolsPage = nullptr;
    LayerRulesPage* layerRulesPage = nullptr;

  public slots:
    void tryConnect();
    void handshake();
    void setConnectionStatus(bool connected, const QString& text);
    void onCardAction(const QString& title);

  private:
    QWidget* buildSidebar();
    QWidget* buildHeader();
    void buildToolPages();
    // Shows a settings page; its "返回" leads back to the page it was opened from.
    void openSettingsPage(QWidget* page);

    int settingsReturnIndex_ = 0;
};

}  // namespace qks::studio
