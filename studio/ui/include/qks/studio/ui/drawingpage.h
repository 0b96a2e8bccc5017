#pragma once
// The drawing window (图纸窗口): shows the host's current drawing from the display list the host
// writes, with pan, zoom, layers, open drawings and layouts, and answers the host's selection
// prompts with what the person picks in it.

#include <QElapsedTimer>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <vector>

#include "qks/studio/drawingindex.h"
#include "qks/studio/files.h"
#include "qks/studio/logtail.h"
#include "qks/studio/nestadjust.h"
#include "qks/studio/pickprompt.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPainter;
class QPushButton;

namespace qks::studio {

class BridgeClient;
class JobFileWatcher;

// Paints one space of a drawing and turns mouse and keys into views and picks. Coordinates on
// screen: x right, y down; in the drawing: x right, y up.
class DrawingCanvas : public QWidget {
    Q_OBJECT
  public:
    explicit DrawingCanvas(QWidget* parent = nullptr);

    // Shows `index`; the view is kept when `keepView`, else the whole drawing is shown.
    void setIndex(std::shared_ptr<DrawingIndex> index, bool keepView);
    const DrawingIndex* index() const { return index_.get(); }
    void zoomExtents();
    void startWindowZoom();
    // While picking, a left drag selects instead of panning, and Enter, a right click and Esc
    // end the pick.
    void setPicking(bool picking);
    bool picking() const { return picking_; }
    QStringList selectedHandles() const;
    int selectedCount() const;
    void clearSelection();
    void layersChanged();

    // The drawing point at the canvas's centre (display-list coordinates).
    QPointF centre() const { return centre_; }
    // Drawing units per pixel, for tests and the bench.
    double unitsPerPixel() const { return 1.0 / scale_; }
    // The time the last paint took, in milliseconds.
    double lastPaintMs() const { return lastPaintMs_; }
    // 调整: the canvas shows and edits `model` (owned by the page) instead of the display list;
    // null ends it. Clicks select parts, a left drag moves the one pressed, keys act on it.
    void setAdjust(NestAdjustModel* model);
    NestAdjustModel* adjust() const { return adjust_; }

  signals:
    void confirmed();
    void cancelled();
    void selectionChanged(int count);
    void cursorMoved(double x, double y);  // drawing units, the space's own coordinates
    void adjustChanged();                  // the 调整 model changed or said something

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QPointF toScreen(float x, float y) const;
    // Paints the entities [first, last) of the index; any thread may call it for a painter of
    // its own on an image (it reads the canvas and its index only).
    void paintEntities(QPainter& painter, const int* first, const int* last);
    void drawText(QPainter& painter, const contract::ViewItem& item, const QColor& colour);
    QPointF toWorld(const QPointF& screen) const;
    void pickAt(const QPointF& screen, bool remove);
    void pickBox(const QPointF& from, const QPointF& to, bool remove);
    void setSelected(const std::vector<int>& entities, bool remove);
    // 调整: the model's drawing millimetres from and to the display list's coordinates.
    QPointF adjustPoint(const QPointF& screen) const;
    void paintAdjust(QPainter& painter);
    bool adjustKey(QKeyEvent* event);

    std::shared_ptr<DrawingIndex> index_;
    std::vector<char> selected_;
    double scale_ = 1.0;  // pixels per drawing unit
    QPointF centre_;      // drawing point at the canvas's centre
    bool picking_ = false;
    bool windowZoom_ = false;
    Qt::MouseButton dragButton_ = Qt::NoButton;
    QPointF pressAt_, lastAt_;
    bool banding_ = false;
    bool hasView_ = false;
    double lastPaintMs_ = 0;
    NestAdjustModel* adjust_ = nullptr;
    bool movingPart_ = false;  // the left button pressed on a part: a drag moves it
};

class DrawingPage : public QWidget {
    Q_OBJECT
  public:
    // `bridge` is the window's bridge client, `files` its job file watcher, neither owned
    // (nullptr: never connected; the files read only when poll() is called).
    DrawingPage(BridgeClient* bridge, JobFileWatcher* files, QWidget* parent = nullptr);

    // Asks the host for the current drawing's display list (the link has just come up).
    void requestView(const QString& layout = QString());
    // Opens `path` in the host as the current drawing; false when the request did not reach it.
    bool openDrawing(const QString& path);
    // Checks the display list and the prompt file now (the job file watcher has it done on every
    // change).
    void poll();

    DrawingCanvas* canvas() const { return canvas_; }
    QString notice() const;
    // The drawings open in the host as the last list said, the current one last.
    QStringList openDocuments() const;
    QLabel* statusLabel() const { return status_; }
    QLabel* promptLabel() const { return promptBar_; }
    QStringList recentDrawings() const;
    // A nest drawing written in this session: 调整 is offered while it is shown.
    void addNestDrawing(const QString& path);
    QLabel* adjustLabel() const { return adjustTotals_; }
    QLabel* adjustMessageLabel() const { return adjustMessage_; }

  signals:
    // The host asks for a selection: the page wants to be shown.
    void promptStarted();
    void promptEnded();
    void logLine(const QString& line);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // True when the link is up; else the log hears why nothing is sent.
    bool linkUp();
    void loadView();
    void showLayers();
    void answerPrompt(bool confirmed);
    void showPrompt(bool asking);
    void rememberRecent(const QString& path);
    void fillRecentMenu();
    void showAdjustOffer();
    void startAdjust();
    void endAdjust();
    void showAdjustState();
    void saveAdjusted();
    void followAdjustSave();

    BridgeClient* bridge_;
    PickPrompt* pick_;
    DrawingCanvas* canvas_;
    QComboBox* documents_;
    QComboBox* layouts_;
    QListWidget* layers_;
    QLabel* promptBar_;
    QWidget* promptRow_;
    QLabel* status_;
    QLabel* cursor_;
    QPushButton* recentButton_;
    SignatureWatch viewWatch_;
    QString shownDocument_;
    QString shownLayout_;
    bool filling_ = false;  // while the combo boxes are refilled from a new list
    // 调整
    QStringList nestDrawings_;
    QPushButton* adjustButton_;
    QWidget* adjustRow_;
    QLabel* adjustTotals_;
    QLabel* adjustMessage_;
    QPushButton* undoButton_;
    QPushButton* redoButton_;
    std::unique_ptr<NestAdjustModel> adjustModel_;
    QString adjustDrawing_;  // the nest drawing being adjusted
    bool saving_ = false;    // the edited layout is with the plug-in; its log answers
    JobLogTail adjustTail_;
};

}  // namespace qks::studio
