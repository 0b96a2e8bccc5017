// DXF writer: AC1032, UTF-8, with the structure other programs expect (HEADER, CLASSES,
// TABLES, BLOCKS, ENTITIES, OBJECTS with the root dictionary, ACAD_GROUP, ACAD_LAYOUT and
// LAYOUT objects linked both ways with their block records). Numbers use the shortest text
// that reads back to the same double.
#include "writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <qks/common/atomic_file.h>

namespace qkshost::dxf {

using namespace qkshost::drawing;
using detail::Writer;

namespace {

bool endsWithNoCase(const std::string& s, const char* suffix) {
    std::size_t n = std::strlen(suffix);
    return s.size() >= n && equalsNoCase(std::string_view(s).substr(s.size() - n), suffix);
}

}  // namespace

std::string writeDxf(const Database& db) {
    std::string s;
    s.reserve(1 << 16);
    Writer w(db, s);
    w.run();
    return s;
}

bool writeDxf(const Database& db, const std::function<bool(std::string_view)>& sink) {
    std::string s;
    s.reserve(1 << 21);
    Writer w(db, s, &sink);
    return w.run();
}

Status saveDxf(const Database& db, const std::string& path, std::string* written,
               std::string* message) {
    std::string target = path;
    if (endsWithNoCase(target, ".dwg")) target = target.substr(0, target.size() - 4) + ".dxf";
    if (written) *written = target;
    qks::AtomicFileWriter file(target);
    auto fail = [&](const std::string& why) {
        if (message) *message = "cannot save " + target + ": " + why;
        return Status::WriteError;
    };
    if (!file.isOpen()) return fail(file.error());
    file.setDurable(true);
    bool ok;
    try {
        ok = writeDxf(db, [&](std::string_view piece) { return file.write(piece); });
    } catch (const std::bad_alloc&) {
        return fail("out of memory");  // the writer's destructor removes the temporary file
    }
    if (!ok || !file.commit(true)) return fail(file.error());
    if (message) message->clear();
    return Status::Ok;
}

}  // namespace qkshost::dxf
