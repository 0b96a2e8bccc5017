#pragma once
// The one watcher of the job files in the temporary folder. The plug-in writes parts, progress,
// rows and tables files whole to NAME.tmp and renames them over NAME, and appends to its logs;
// a file system watcher loses a path once it was renamed over, so this one polls: every
// interval it looks at each watched path (existence, size, time, file identity) and tells the
// path's subscribers when it differs from the last look. Lives on the GUI thread beside the
// bridge client; the pages subscribe and read the files themselves.

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QTimer;

namespace qks::studio {

class JobFileWatcher : public QObject {
    Q_OBJECT
  public:
    // The pages followed their files every 300 to 400 ms; one look every 300 ms keeps that.
    static constexpr int kDefaultIntervalMs = 300;

    explicit JobFileWatcher(QObject* parent = nullptr, int intervalMs = kDefaultIntervalMs);

    using OnChange = std::function<void(const QString& path)>;
    // From the next look on, `onChange` hears each change of each of `paths` (created, written,
    // replaced, removed) until unsubscribe(receiver) or `receiver` is destroyed. What the files
    // hold now is no change.
    void subscribe(const QStringList& paths, QObject* receiver, OnChange onChange);
    void unsubscribe(QObject* receiver);

    // True while some subscriber watches `path`.
    bool watching(const QString& path) const;

    // Looks at every watched path now (the timer does it every interval).
    void check();

  signals:
    // `path` changed since the last look; emitted once per change, before the subscribers hear.
    void changed(const QString& path);

  private:
    struct Subscription {
        QObject* receiver;
        QStringList paths;
        OnChange onChange;
    };
    struct Watched {
        QByteArray stamp;
        int subscribers = 0;
    };

    void release(const QStringList& paths);

    QTimer* timer_;
    std::vector<Subscription> subscriptions_;
    QHash<QString, Watched> watched_;
};

}  // namespace qks::studio
