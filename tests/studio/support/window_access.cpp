#include "window_access.h"

#include "qks/studio/ui/mainwindow.h"

namespace qks::studio {

WindowAccess::WindowAccess(MainWindow& window)
    : bridge(window.bridge),
      stack(window.stack),
      statusDot(window.statusDot),
      statusText(window.statusText),
      footer(window.footer),
      connectButton(window.connectButton),
      navButtons(window.navButtons),
      plotPage(window.plotPage),
      mergePage(window.mergePage),
      nestPage(window.nestPage),
      bomPage(window.bomPage),
      bomSettingsPage(window.bomSettingsPage),
      toolsPage(window.toolsPage),
      layerRulesPage(window.layerRulesPage),
      drawingPage(window.drawingPage),
      plotSettingsPage(window.plotSettingsPage),
      hostSettingsPage(window.hostSettingsPage) {}

}  // namespace qks::studio
