#pragma once
// The window's widgets for tests and scripted runs: MainWindow keeps them private and names
// this accessor its friend. Test builds only.

#include "qks/studio/ui/mainwindow.h"

namespace qks::studio {

// The widgets of `window` as it made them; valid while it lives.
struct WindowAccess {
    explicit WindowAccess(MainWindow& window);

    BridgeClient* bridge;
    QStackedWidget* stack;
    QLabel* statusDot;
    QLabel* statusText;
    QLabel* footer;
    QPushButton* connectButton;
    QList<QPushButton*> navButtons;
    PlotPage* plotPage;
    MergePage* mergePage;
    NestPage* nestPage;
    BomPage* bomPage;
    BomSettingsPage* bomSettingsPage;
    ToolsPage* toolsPage;
    LayerRulesPage* layerRulesPage;
    DrawingPage* drawingPage;
    PlotSettingsPage* plotSettingsPage;
    HostSettingsPage* hostSettingsPage;
};

}  // namespace qks::studio
