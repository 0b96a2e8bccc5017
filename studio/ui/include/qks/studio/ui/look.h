#pragma once
// Application identity, font and the compiled-in style sheet.

class QApplication;
class QString;

namespace qks::studio {

// Names the application, sets the "Microsoft YaHei UI" font at 10 pt and applies
// ":/style.qss". Returns false when the style sheet could not be read (the program then
// runs with the plain look).
bool applyStudioLook(QApplication& app);

// Text of ":/style.qss"; empty when the resource is missing.
QString studioStyleSheet();

}  // namespace qks::studio
