#include "script.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <cstdio>

#include "qks/studio/ui/bompage.h"
#include "qks/studio/ui/bomtable.h"
#include "qks/studio/ui/dialogs.h"
#include "qks/studio/ui/drawingpage.h"
#include "qks/studio/ui/mainwindow.h"
#include "qks/studio/ui/mergepage.h"
#include "qks/studio/ui/nestpage.h"
#include "qks/studio/ui/plotpage.h"
#include "qks/studio/ui/toolspage.h"
#include "window_access.h"

namespace qks::studio {

// Dialog answers queued by the script; installed for the script's lifetime.
struct StudioScript::Answers : QueuedDialogs {
    StudioDialogs* previous = nullptr;
};

StudioScript::StudioScript(MainWindow& window, QStringList lines, QObject* parent)
    : QObject(parent), window_(window), lines_(std::move(lines)), answers_(new Answers) {
    const WindowAccess ui(window);
    const PlotPage* plot = ui.plotPage;
    const MergePage* merge = ui.mergePage;
    const BomPage* bom = ui.bomPage;
    const ToolsPage* tools = ui.toolsPage;
    fields_ = {
        {QStringLiteral("chip"), ui.statusText},
        {QStringLiteral("drawing.status"), ui.drawingPage->statusLabel()},
        {QStringLiteral("drawing.prompt"), ui.drawingPage->promptLabel()},
        {QStringLiteral("drawing.adjust"), ui.drawingPage->adjustLabel()},
        {QStringLiteral("drawing.message"), ui.drawingPage->adjustMessageLabel()},
        {QStringLiteral("footer"), ui.footer},
        {QStringLiteral("plot.outDir"), plot->outDirEdit},
        {QStringLiteral("plot.prefix"), plot->prefixEdit},
        {QStringLiteral("plot.style"), plot->styleCombo},
        {QStringLiteral("plot.scope"), plot->scopeCombo},
        {QStringLiteral("plot.target"), plot->targetCombo},
        {QStringLiteral("plot.status"), plot->statusLabel},
        {QStringLiteral("plot.log"), plot->logView},
        {QStringLiteral("merge.out"), merge->outEdit},
        {QStringLiteral("merge.columns"), merge->columnsSpin},
        {QStringLiteral("merge.spacing"), merge->spacingSpin},
        {QStringLiteral("merge.pdf"), merge->pdfCheck},
        {QStringLiteral("merge.status"), merge->statusLabel},
        {QStringLiteral("merge.log"), merge->logView},
        {QStringLiteral("bom.outDir"), bom->outDirEdit},
        {QStringLiteral("bom.source"), bom->sourceCombo},
        {QStringLiteral("bom.status"), bom->statusLabel},
        {QStringLiteral("bom.log"), bom->logView},
        {QStringLiteral("bom.rows"), bom->table},
        {QStringLiteral("bom.totals"), bom->totalsLabel},
        {QStringLiteral("tools.outDir"), tools->outDirEdit},
        {QStringLiteral("tools.workbook"), tools->workbookEdit},
        {QStringLiteral("tools.source"), tools->sourceCombo},
        {QStringLiteral("tools.status"), tools->statusLabel},
        {QStringLiteral("tools.log"), tools->logView},
        {QStringLiteral("tools.tables"), tools->tableCombo},
        {QStringLiteral("tools.table"), tools->table},
    };
    answers_->previous = setStudioDialogs(answers_.get());
}

StudioScript::~StudioScript() {
    setStudioDialogs(answers_->previous);
}

QWidget* StudioScript::field(const QString& name) const {
    // The nest page names its own fields.
    const QLatin1String nest("nest.");
    if (name.startsWith(nest)) return WindowAccess(window_).nestPage->field(name.mid(nest.size()));
    return fields_.value(name, nullptr);
}

QString fieldText(const QWidget* widget) {
    if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
    if (auto* text = qobject_cast<const QPlainTextEdit*>(widget)) return text->toPlainText();
    if (auto* combo = qobject_cast<const QComboBox*>(widget)) return combo->currentText();
    if (auto* spin = qobject_cast<const QAbstractSpinBox*>(widget)) return spin->text();
    if (auto* check = qobject_cast<const QCheckBox*>(widget))
        return check->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    if (auto* table = qobject_cast<const QTableWidget*>(widget)) {
        // One line per row, cells TAB-separated; a cell holding a widget gives its text.
        QStringList lines;
        for (int r = 0; r < table->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < table->columnCount(); ++c) {
                const QTableWidgetItem* item = table->item(r, c);
                cells << (item ? item->text() : fieldText(table->cellWidget(r, c)));
            }
            lines << cells.join(QLatin1Char('\t'));
        }
        return lines.join(QLatin1Char('\n'));
    }
    return {};
}

void StudioScript::start() {
    QTimer::singleShot(0, this, &StudioScript::step);
}

bool StudioScript::fail(const QString& message) {
    std::fprintf(stderr, "script line %d: %s\n", next_, qPrintable(message));
    emit finished(2);
    return false;
}

void StudioScript::step() {
    while (next_ < lines_.size()) {
        const QString line = lines_[next_++].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        const int space = line.indexOf(QLatin1Char(' '));
        const QString command = space < 0 ? line : line.left(space);
        const QString rest = space < 0 ? QString() : line.mid(space + 1).trimmed();
        if (!run(command, rest)) return;  // the command resumes the script, or it ended
    }
    emit finished(0);
}

bool StudioScript::run(const QString& command, const QString& rest) {
    const QString name = rest.section(QLatin1Char(' '), 0, 0);
    const QString value = rest.section(QLatin1Char(' '), 1);
    if (command == QLatin1String("page")) {
        const int page = rest.toInt();
        if (page < 0 || page >= WindowAccess(window_).navButtons.size())
            return fail(QStringLiteral("no page ") + rest);
        window_.showPage(page);
        return true;
    }
    if (command == QLatin1String("set")) {
        QWidget* widget = field(name);
        QString text = value;
        text.replace(QLatin1String("\\n"), QLatin1String("\n"));
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            edit->setText(text);
        } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
            plain->setPlainText(text);
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            int index = combo->findData(text);
            if (index < 0) index = combo->findText(text);
            if (index < 0) return fail(QStringLiteral("no item ") + text);
            combo->setCurrentIndex(index);
        } else if (auto* spin = qobject_cast<QSpinBox*>(widget)) {
            spin->setValue(text.toInt());
        } else if (auto* dspin = qobject_cast<QDoubleSpinBox*>(widget)) {
            dspin->setValue(text.toDouble());
        } else if (auto* check = qobject_cast<QCheckBox*>(widget)) {
            check->setChecked(text == QLatin1String("1"));
        } else {
            return fail(QStringLiteral("cannot set ") + name);
        }
        return true;
    }
    if (command == QLatin1String("click")) {
        for (QPushButton* button : window_.findChildren<QPushButton*>()) {
            if (button->isVisible() && button->text().trimmed() == rest) {
                button->click();
                return true;
            }
        }
        return fail(QStringLiteral("no visible button ") + rest);
    }
    if (command == QLatin1String("card")) {
        for (QLabel* title : window_.findChildren<QLabel*>(QStringLiteral("cardTitle"))) {
            if (title->text() == rest) {
                window_.onCardAction(rest);
                return true;
            }
        }
        return fail(QStringLiteral("no card ") + rest);
    }
    if (command == QLatin1String("files")) {
        answers_->files.append(rest.split(QLatin1Char(';'), Qt::SkipEmptyParts));
        return true;
    }
    if (command == QLatin1String("folder")) {
        answers_->folders.append(rest);
        return true;
    }
    if (command == QLatin1String("save")) {
        answers_->saves.append(rest);
        return true;
    }
    if (command == QLatin1String("wait")) {
        QTimer::singleShot(rest.toInt(), this, &StudioScript::step);
        return false;
    }
    if (command == QLatin1String("until")) {
        QWidget* widget = field(name);
        if (!widget) return fail(QStringLiteral("no field ") + name);
        // An optional trailing number is the time-out.
        QString wanted = value;
        int timeoutMs = 30000;
        const int lastSpace = value.lastIndexOf(QLatin1Char(' '));
        bool isNumber = false;
        const int parsed = lastSpace < 0 ? 0 : value.mid(lastSpace + 1).toInt(&isNumber);
        if (isNumber) {
            timeoutMs = parsed;
            wanted = value.left(lastSpace);
        }
        auto* timer = new QTimer(this);
        auto* clock = new QElapsedTimer;
        clock->start();
        connect(timer, &QTimer::timeout, this, [this, timer, clock, widget, wanted, timeoutMs] {
            const bool found = fieldText(widget).contains(wanted);
            if (!found && clock->elapsed() < timeoutMs) return;
            timer->deleteLater();
            delete clock;
            if (found) {
                step();
            } else {
                std::fprintf(stderr, "script line %d: timed out waiting for %s\n", next_,
                             qPrintable(wanted));
                emit finished(3);
            }
        });
        timer->start(50);
        return false;
    }
    if (command == QLatin1String("savelog")) {
        QWidget* widget = field(name);
        QFile file(value);
        if (!widget || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return fail(QStringLiteral("cannot save ") + rest);
        file.write(fieldText(widget).toUtf8());
        return true;
    }
    if (command == QLatin1String("shot")) {
        // Layouts settle through posted events: a picture taken right after a page or a label
        // changed would otherwise show the window half laid out.
        for (int pass = 0; pass < 3; ++pass) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            QCoreApplication::processEvents();
        }
        if (!window_.grab().save(rest, "PNG")) return fail(QStringLiteral("cannot save ") + rest);
        return true;
    }
    if (command == QLatin1String("canvas")) {
        // Where the drawing window's canvas is on the screen and how it maps the drawing, so a
        // driver of real input events can aim at drawing coordinates: "left top width height
        // pixelsPerUnit centreX centreY", the centre in the display list's own coordinates.
        const DrawingCanvas* canvas = WindowAccess(window_).drawingPage->canvas();
        const QPoint at = canvas->mapToGlobal(QPoint(0, 0));
        const QPointF centre = canvas->centre();
        QFile file(rest);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return fail(QStringLiteral("cannot save ") + rest);
        file.write(QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                       .arg(at.x())
                       .arg(at.y())
                       .arg(canvas->width())
                       .arg(canvas->height())
                       .arg(1.0 / canvas->unitsPerPixel(), 0, 'g', 17)
                       .arg(centre.x(), 0, 'g', 17)
                       .arg(centre.y(), 0, 'g', 17)
                       .toUtf8());
        return true;
    }
    if (command == QLatin1String("size")) {
        window_.resize(name.toInt(), value.toInt());
        return true;
    }
    if (command == QLatin1String("quit")) {
        emit finished(rest.toInt());
        return false;
    }
    return fail(QStringLiteral("unknown command ") + command);
}

}  // namespace qks::studio
