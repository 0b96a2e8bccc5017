// The message a second Studio start hands to the running one: whatever the bytes, the reader
// either refuses them or gives paths that compose back into the very same message.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "qks/contract/handover.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto paths = qks::contract::parseHandOver(bytes);
    if (!paths) return 0;
    if (qks::contract::composeHandOver(*paths) != bytes) std::abort();
    return 0;
}
