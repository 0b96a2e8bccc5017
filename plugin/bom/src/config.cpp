#include "qks/bom/bom.h"
#include "qks/common/utf8.h"

namespace qks::bom {
namespace {

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

const contract::Material* findMaterial(const BomConfig& config, const std::string& name) {
    const std::string wanted = lowerAscii(std::string(trimWhiteSpace(name)));
    for (const contract::Material& material : config.materials)
        if (lowerAscii(material.name) == wanted) return &material;
    return nullptr;
}

}  // namespace qks::bom
