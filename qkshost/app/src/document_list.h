// The host's open documents and which one is current. A document owns its database.
// Main thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qkshost/app/host_application.h"

namespace qkshost {

class DocumentList {
  public:
    qks::host::DocumentId current() const { return current_; }
    // False (nothing changes) for an unknown document.
    bool setCurrent(qks::host::DocumentId document);
    Document* find(qks::host::DocumentId document);
    const std::vector<std::unique_ptr<Document>>& all() const { return documents_; }

    // A new drawing with the default tables, named DrawingN.dwg; it becomes current.
    qks::host::DocumentId add();
    // Reads the drawing at `path`; a drawing already open becomes current instead. An empty
    // id, with `error` set, when the file cannot be read.
    qks::host::DocumentId open(const std::string& path, std::string& error);
    // The last document left becomes current when the current one closes.
    bool close(qks::host::DocumentId document);
    void clear() { documents_.clear(); }

  private:
    std::vector<std::unique_ptr<Document>> documents_;
    qks::host::DocumentId current_;
    std::uint64_t nextDocument_ = 1;
    int untitledCount_ = 0;
};

}  // namespace qkshost
