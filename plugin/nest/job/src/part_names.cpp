#include "part_names.h"

namespace qks::nest {
namespace {
const std::string kNeverSaved = "当前图";
}  // namespace

std::string drawingStem(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

std::string currentDrawingPartName(host::Host& host) {
    const host::DocumentId document = host.currentDocument();
    const std::string path = document ? host.documentFileName(document) : std::string();
    const std::string stem = drawingStem(path);
    return stem.empty() ? kNeverSaved : stem;
}

void numberUnnamedKinds(std::vector<NestPart>& parts, const std::string& base) {
    if (base == kNeverSaved) return;
    int number = 0;
    for (NestPart& part : parts)
        if (part.name == base) part.name = base + "-" + std::to_string(++number);
}

}  // namespace qks::nest
