#pragma once
// Following a job log while the plug-in appends to it.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace qks::studio {

enum class JobEnd { None, Failed, Done };

struct TailChunk {
    QStringList lines;  // trimmed, non-empty
    JobEnd end = JobEnd::None;
};

// Reads what was appended to a log since the last poll; a log that became shorter was
// rewritten and is read again from its start.
class JobLogTail {
  public:
    explicit JobLogTail(QString path = {}) : path_(std::move(path)) {}
    void restart(const QString& path) {
        path_ = path;
        offset_ = 0;
    }
    const QString& path() const { return path_; }
    qint64 offset() const { return offset_; }

    // Nothing (no lines, no end) when the file cannot be opened or has nothing new.
    TailChunk poll();

    // How one chunk reads: its lines, and "FATAL" anywhere in it ends the job as
    // failed, even when "DONE" is there too.
    static TailChunk interpret(const QByteArray& chunk);

  private:
    QString path_;
    qint64 offset_ = 0;
};

// The last `count` non-empty lines of a log's text (trimmed when `trim`).
QStringList lastLogLines(const QByteArray& content, int count, bool trim);

}  // namespace qks::studio
