#pragma once
// The Studio window: sidebar navigation, header with the connection chip, six pages and
// the footer. It owns the one bridge client every page sends through and the one watcher of
// the job files the pages follow; the host behind the bridge is started and watched by a
// HostKeeper the program hands in (tests construct the window without one, so they never
// start a host).

#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

class QLabel;
class QPushButton;
class QStackedWidget;

namespace qks::studio {

class BridgeClient;
class JobFileWatcher;
class PlotPage;
class DrawingPage;
class MergePage;
class NestPage;
class HostKeeper;
class HostSettingsPage;
class PlotSettingsPage;
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

    // Shows page `index` of the navigation (0-6) as its button does; other indexes are ignored.
    void showPage(int index);
    // Opens `paths` in the host once the bridge is up (at once when it is) and shows them.
    void openDrawingsWhenConnected(const QStringList& paths);

    // The keeper of the host, not owned; it must outlive the window or be unset first. The
    // chip shows "正在连接..." while it starts a host and connects once its bridge answers; a
    // host that dies or cannot start is reported in the footer and the log of the page in view.
    // nullptr: the window only connects to a bridge someone else started.
    void setHostKeeper(HostKeeper* keeper);
    // Appends `line` to the log of the page in view; pages without a log ignore it.
    void logToPageInView(const QString& line);

  public slots:
    void tryConnect();
    void handshake();
    void setConnectionStatus(bool connected, const QString& text);
    void onCardAction(const QString& title);

  private:
    // Tests and scripted runs reach the widgets below through their own accessor.
    friend struct WindowAccess;

    // Widgets, in the window's own order.
    BridgeClient* bridge = nullptr;
    // The one watcher of the job files the pages follow.
    JobFileWatcher* jobFiles = nullptr;
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
    // The drawing window, the seventh page of the navigation.
    DrawingPage* drawingPage = nullptr;
    PlotSettingsPage* plotSettingsPage = nullptr;
    HostSettingsPage* hostSettingsPage = nullptr;

    QWidget* buildSidebar();
    QWidget* buildHeader();
    void buildToolPages();
    // Shows a settings page; its "返回" leads back to the page it was opened from.
    void openSettingsPage(QWidget* page);

    void showHostInfo();

    void buildDrawingPage();
    // The pages' "在图纸窗口打开" opens what their jobs wrote in the drawing window.
    void connectDrawingResults();

    int settingsReturnIndex_ = 0;
    int promptReturnIndex_ = -1;
    QStringList drawingsToOpen_;
    HostKeeper* hostKeeper_ = nullptr;
    bool askingKeeper_ = false;
    bool restartPending_ = false;  // the keeper restarts a host that died
    // The restarted host answered: the footer and the page's log say so after the handshake.
    bool announceRestart_ = false;
    int handshakesUnanswered_ = 0;
    void announceRestart();
};

}  // namespace qks::studio
