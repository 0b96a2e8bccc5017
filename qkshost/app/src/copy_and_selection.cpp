// Copying between databases and selecting objects at the console.
#include "qkshost/app/drawing_services.h"
#include "qkshost/app/host_application.h"
#include "qkshost/drawing/blockops.h"
#include "qkshost/drawing/selection.h"

namespace qkshost {

namespace host = qks::host;

host::Status HostDrawingServices::insertDatabaseAsBlock(host::DatabaseId target,
                                                        std::string_view blockName,
                                                        host::DatabaseId source,
                                                        host::ObjectId* block, int* notCarried) {
    if (block) *block = {};
    if (notCarried) *notCarried = 0;
    drawing::Database* to = database(target);
    drawing::Database* from = database(source);
    if (to == nullptr || from == nullptr || to == from) return host::Status::NotFound;
    drawing::ObjectIndex index = 0;
    drawing::CopyReport report;
    const drawing::Status status = drawing::insertAsBlock(*to, *from, blockName, &index, &report);
    if (notCarried) *notCarried = report.notCarried;
    if (status == drawing::Status::Ok && block) *block = to->idOf(index);
    return toHostStatus(status);
}

host::Status HostDrawingServices::writeBlockOut(const std::vector<host::ObjectId>& objects,
                                                const host::Point3d& basePoint,
                                                host::DatabaseId* result) {
    if (result) *result = {};
    if (objects.empty()) return host::Status::InvalidInput;
    drawing::ObjectIndex first = 0;
    drawing::Database* source = resolve(objects.front(), first);
    if (source == nullptr) return host::Status::NotFound;
    std::vector<drawing::ObjectIndex> entities;
    for (const host::ObjectId id : objects) {
        drawing::ObjectIndex index = 0;
        if (resolve(id, index) == source) entities.push_back(index);
    }
    std::unique_ptr<drawing::Database> out;
    const drawing::Status status = drawing::writeBlockOut(*source, entities, basePoint, out);
    if (status != drawing::Status::Ok || !out) return toHostStatus(status);
    const host::DatabaseId id{out->serial()};
    sideDatabases_[id.value] = std::move(out);
    if (result) *result = id;
    return host::Status::Ok;
}

bool HostDrawingServices::selectObjects(std::string_view prompt,
                                        std::vector<host::ObjectId>& selection) {
    selection.clear();
    Document* document = app_.findDocument(app_.currentDocument());
    if (document == nullptr || !document->database) return false;
    const drawing::Database& db = *document->database;
    for (;;) {
        std::string line;
        if (!app_.promptForLine(prompt, line, /*window=*/true)) return false;
        drawing::SelectionResult result;
        const drawing::Status status = drawing::evaluateSelection(db, line, result);
        if (result.cancelled) return false;
        if (status != drawing::Status::Ok) {
            // A line the prompt does not understand asks again, as the CAD program does.
            app_.print("*Invalid selection* " + result.message + "\n");
            continue;
        }
        if (!result.message.empty()) app_.print(result.message + "\n");
        app_.print(std::to_string(result.entities.size()) + " found\n");
        for (const drawing::ObjectIndex index : result.entities)
            selection.push_back(db.idOf(index));
        return !selection.empty();
    }
}

}  // namespace qkshost
