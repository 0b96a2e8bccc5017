#pragma once
// Drives the window from a plain-text script, for end-to-end runs without a person.
// One command per line; blank lines and lines starting with "#" are skipped:
//   page N                  show page N (0-5) through its navigation button
//   set FIELD VALUE         fill a field (text, "\n" for line breaks; combo key or text;
//                           number; 1/0 for check boxes)
//   click TEXT              press the visible button with that caption
//   card TITLE              press the action of the card titled TITLE (on any card page)
//   files PATH[;PATH...]    answer the next open-files dialog
//   folder PATH             answer the next folder dialog
//   save PATH               answer the next save-file dialog
//   wait MS                 let the program run for MS milliseconds
//   until FIELD TEXT [MS]   wait until FIELD's text contains TEXT (default 30000 ms);
//                           on time-out the script ends with exit code 3
//   savelog FIELD FILE      write FIELD's text to FILE (UTF-8)
//   size W H                resize the window (never below its minimum size)
//   shot FILE               save the window as PNG
//   canvas FILE             write where the drawing window's canvas is on the screen and how
//                           it maps the drawing (see script.cpp)
//   quit [CODE]             end the program (default 0)
// FIELD names: chip, footer, and page.member for the pages, e.g. plot.outDir, plot.target,
// plot.status, plot.log, merge.out, merge.columns, nest.sheets, nest.state, nest.log,
// drawing.status, drawing.prompt, drawing.adjust (调整's totals), drawing.message (what the last
// 调整 edit or save said), bom.outDir, bom.source, bom.status, bom.log, bom.rows (rows as
// lines, cells TAB-separated), bom.totals, tools.outDir, tools.workbook, tools.source,
// tools.status, tools.log, tools.tables (the table shown) and tools.table (its rows, as bom.rows).
// The end of the script ends the program with code 0; a script error ends it with exit
// code 2 and a message on stderr.

#include <QHash>
#include <QObject>
#include <QStringList>
#include <memory>

namespace qks::studio {

class MainWindow;

class StudioScript : public QObject {
    Q_OBJECT
  public:
    StudioScript(MainWindow& window, QStringList lines, QObject* parent = nullptr);
    ~StudioScript() override;

    // Runs the commands one after another from the event loop.
    void start();
    // The widget a FIELD name stands for; nullptr when unknown.
    QWidget* field(const QString& name) const;

  signals:
    void finished(int exitCode);

  private:
    void step();
    bool fail(const QString& message);  // always false: the script ends
    bool run(const QString& command, const QString& rest);

    struct Answers;
    MainWindow& window_;
    QStringList lines_;
    int next_ = 0;
    QHash<QString, QWidget*> fields_;
    std::unique_ptr<Answers> answers_;
};

// Text shown by a field widget (labels, edits, log views, combo text).
QString fieldText(const QWidget* widget);

}  // namespace qks::studio
