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

// The drawings a job's log says it wrote, in log order: the nest drawing ("NEST 已生成 "), the
// merged drawing ("MERGED ... dwg="), tidied drawings ("OK " with a .dxf path) and flat blanks
// ("BLANK "). Paths as the plug-in wrote them (the written .dxf, never the asked-for .dwg).
QStringList drawingsWritten(const QByteArray& log);

// The last `count` non-empty lines of a log's text (trimmed when `trim`).
QStringList lastLogLines(const QByteArray& content, int count, bool trim);

}  // namespace qks::studio
