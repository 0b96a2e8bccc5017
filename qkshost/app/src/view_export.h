// The drawing services' side of the drawing window: object selection at the prompt, which the
// Studio's window may answer, and the view files the window draws. Main thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qks/host/drawing.h"

namespace qkshost {

namespace host = qks::host;

class HostApplication;

class DrawingWindowServices {
  public:
    explicit DrawingWindowServices(HostApplication& app) : app_(app) {}
    DrawingWindowServices(const DrawingWindowServices&) = delete;
    DrawingWindowServices& operator=(const DrawingWindowServices&) = delete;

    bool selectObjects(std::string_view prompt, std::vector<host::ObjectId>& selection);
    host::Status writeView(host::DocumentId document, std::string_view layout,
                           const std::string& path, std::string_view notice);

  private:
    HostApplication& app_;
};

}  // namespace qkshost
