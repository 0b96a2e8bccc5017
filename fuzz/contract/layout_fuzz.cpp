// The nest layout file the plug-in reads from the Studio (or from a person's editor): whatever
// the bytes, the reader refuses them with a message or gives a layout that the check can judge
// and that writes and reads back the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "qks/contract/layout_check.h"
#include "qks/contract/nest_layout_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto layout = qks::contract::readLayout(bytes, &error);
    if (!layout) {
        if (error.empty()) std::abort();
        return 0;
    }
    qks::contract::checkLayout(*layout);
    const std::string text = qks::contract::formatLayout(*layout);
    const auto again = qks::contract::readLayout(text, &error);
    if (!again || qks::contract::formatLayout(*again) != text) std::abort();
    return 0;
}
