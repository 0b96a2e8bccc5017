#pragma once
// Application identity, font and the compiled-in style sheet.

class QApplication;
class QString;
class QWidget;

namespace qks::studio {

// Names the application, sets the "Microsoft YaHei UI" font at 10 pt and applies
// ":/style.qss". Returns false when the style sheet could not be read (the program then
// runs with the plain look).
bool applyStudioLook(QApplication& app);

// Text of ":/style.qss"; empty when the resource is missing.
QString studioStyleSheet();

// Shows the main window with the size, position and maximised state it was left with
// (`[window] geometry` in the settings file at `iniPath`). On a first start it is shown
// maximised over a normal size of most of the screen, so that no page needs scrolling on a
// 1366 x 768 screen.
void showMainWindow(QWidget& window, const QString& iniPath);
// Stores what showMainWindow restores; false when the settings file cannot be written.
bool saveMainWindowPlace(const QWidget& window, const QString& iniPath);

}  // namespace qks::studio
