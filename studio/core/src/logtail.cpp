#include "qks/studio/logtail.h"

#include <QFile>

#include "qks/contract/log_words.h"

namespace qks::studio {
namespace {

QByteArray bytes(std::string_view word) {
    return QByteArray(word.data(), static_cast<int>(word.size()));
}

// The word and the blank after it: what a line of that word starts with.
QString linePrefix(std::string_view word) {
    return QString::fromUtf8(bytes(word)) + QLatin1Char(' ');
}

}  // namespace

TailChunk JobLogTail::poll() {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) return {};
    if (file.size() < offset_) offset_ = 0;
    if (!file.seek(offset_)) return {};
    const QByteArray chunk = file.readAll();
    offset_ = file.pos();
    if (chunk.isEmpty()) return {};
    return interpret(chunk);
}

TailChunk JobLogTail::interpret(const QByteArray& chunk) {
    TailChunk out;
    const QString text = QString::fromUtf8(chunk);
    for (const QStringRef& piece : text.splitRef(QLatin1Char('\n'))) {
        const QStringRef line = piece.trimmed();
        if (!line.isEmpty()) out.lines.append(line.toString());
    }
    if (chunk.contains(bytes(contract::kLogFatal)))
        out.end = JobEnd::Failed;
    else if (chunk.contains(bytes(contract::kLogDone)))
        out.end = JobEnd::Done;
    return out;
}

QStringList lastLogLines(const QByteArray& content, int count, bool trim) {
    const QString text = QString::fromUtf8(content);
    QStringList lines;
    for (const QStringRef& piece : text.splitRef(QLatin1Char('\n'))) {
        const QStringRef line = trim ? piece.trimmed() : piece;
        if (trim ? !line.isEmpty() : !piece.isEmpty()) lines.append(line.toString());
    }
    if (count >= 0 && lines.size() > count) lines = lines.mid(lines.size() - count);
    return lines;
}

QStringList drawingsWritten(const QByteArray& log) {
    QStringList drawings;
    const auto isDrawing = [](const QString& path) {
        return path.endsWith(QLatin1String(".dxf"), Qt::CaseInsensitive) ||
               path.endsWith(QLatin1String(".dwg"), Qt::CaseInsensitive);
    };
    const QString nestWritten = linePrefix(contract::kLogNestWritten);
    const QString merged = linePrefix(contract::kLogMerged);
    const QString ok = linePrefix(contract::kLogOk);
    const QString blank = linePrefix(contract::kLogBlank);
    for (const QByteArray& raw : log.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        QString path;
        if (line.startsWith(nestWritten))
            path = line.mid(nestWritten.size());
        else if (line.startsWith(merged) && line.contains(QLatin1String(" dwg=")))
            path = line.mid(line.indexOf(QLatin1String(" dwg=")) + 5);
        else if (line.startsWith(ok) || line.startsWith(blank))
            path = line.mid(line.indexOf(QLatin1Char(' ')) + 1);
        if (!path.isEmpty() && isDrawing(path) && !drawings.contains(path)) drawings << path;
    }
    return drawings;
}

}  // namespace qks::studio
