// The parts file: the part kinds handed between the plug-in and the Studio (header
// "# QKS-PARTS 2", TAB-separated "P", "O" and "H" lines, and "C" lines of carried geometry
// ("C", id, layer, handles) that older readers skip; LF line ends, UTF-8).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qks/contract/part.h"
#include "qks/contract/read_rules.h"

namespace qks::contract {

// The whole file text for `parts`, in list order. Names, sources and handles are written as
// given: the caller makes them valid UTF-8 without TAB or LF.
std::string formatParts(const std::vector<PartRecord>& parts);

struct PartsReadOptions {
    ReadRules rules;
    // The plug-in nests only kinds with at least three outline points and a quantity of at
    // least 1; the Studio lists every kind so the user sees and can fix them.
    bool keepUnusable = false;
};

// Every "P" record in file order (comment lines start with "#"); "O", "H" and "C" records
// attach to the latest "P" of their id. Text fields are the file's bytes unchanged.
std::vector<PartRecord> readParts(std::string_view text, const PartsReadOptions& options);

}  // namespace qks::contract
