// Job-log tail: the input is cut in two; the first part is a log the tail reads, the
// second replaces it (shorter: a rewritten log) or extends it.
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

#include "qks/studio/logtail.h"

namespace {
void writeLog(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qks::studio;
    static QTemporaryDir scratch;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const int cut = bytes.isEmpty() ? 0 : static_cast<unsigned char>(bytes[0]) % (bytes.size() + 1);
    const QByteArray first = bytes.left(cut);
    const QByteArray second = bytes.mid(cut);

    const QString path = scratch.filePath(QStringLiteral("qks_plot.log"));
    writeLog(path, first);
    JobLogTail tail(path);
    tail.poll();
    if (tail.offset() != first.size()) __builtin_trap();
    writeLog(path, second.size() < first.size() ? second : first + second);
    const TailChunk chunk = tail.poll();
    const JobEnd whole = JobLogTail::interpret(bytes).end;
    if (bytes.contains("FATAL") && whole != JobEnd::Failed) __builtin_trap();
    for (const QString& line : chunk.lines) {
        if (line.isEmpty() || line != line.trimmed()) __builtin_trap();
    }
    lastLogLines(bytes, 80, true);
    lastLogLines(bytes, 120, false);
    return 0;
}
