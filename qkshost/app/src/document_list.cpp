#include "document_list.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "drawing_files.h"

namespace qkshost {

using qks::host::DocumentId;

Document* DocumentList::find(DocumentId document) {
    for (const auto& d : documents_)
        if (d->id == document) return d.get();
    return nullptr;
}

bool DocumentList::setCurrent(DocumentId document) {
    if (find(document) == nullptr) return false;
    current_ = document;
    return true;
}

DocumentId DocumentList::add() {
    auto document = std::make_unique<Document>();
    document->id = DocumentId{nextDocument_++};
    document->fileName = "Drawing" + std::to_string(++untitledCount_) + ".dwg";
    document->database = std::make_unique<drawing::Database>(true);
    current_ = document->id;
    documents_.push_back(std::move(document));
    return current_;
}

DocumentId DocumentList::open(const std::string& path, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = std::strerror(errno);
        return {};
    }
    if (!S_ISREG(info.st_mode)) {
        error = "not a drawing file";
        return {};
    }
    const std::string canonical = app::canonicalPath(path);
    for (const auto& d : documents_)
        if (d->fileName == canonical) {
            current_ = d->id;
            return d->id;
        }
    auto database = std::make_unique<drawing::Database>(false);
    const drawing::ReadResult read = app::readDrawingFile(*database, canonical);
    if (read.status != drawing::Status::Ok) {
        error = read.message.empty() ? "cannot read the drawing" : read.message;
        return {};
    }
    auto document = std::make_unique<Document>();
    document->id = DocumentId{nextDocument_++};
    document->fileName = canonical;
    document->database = std::move(database);
    document->skippedEntitiesOnRead = read.skippedEntities;
    document->skippedOthersOnRead = read.skippedOthers;
    current_ = document->id;
    documents_.push_back(std::move(document));
    return current_;
}

bool DocumentList::close(DocumentId document) {
    const auto it = std::find_if(documents_.begin(), documents_.end(),
                                 [&](const auto& d) { return d->id == document; });
    if (it == documents_.end()) return false;
    documents_.erase(it);
    if (current_ == document) current_ = documents_.empty() ? DocumentId{} : documents_.back()->id;
    return true;
}

}  // namespace qkshost
