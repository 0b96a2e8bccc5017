#include "qks/job/job_files.h"

#include "qks/common/numbers.h"
#include "qks/common/utf8.h"
#include "qks/contract/parts_format.h"

namespace qks::job {

std::vector<contract::PartRecord> parsePartsText(std::string_view bytes) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    const contract::PartsReadOptions options{{trimWhiteSpace, parseLeadingInt, parseLeadingDouble},
                                             false};
    return contract::readParts(sanitizeUtf8(bytes), options);
}

contract::ProgressRecords parseProgressText(std::string_view text) {
    return contract::readProgress(text, {{nullptr, parseLeadingInt, parseLeadingDouble}, true});
}

}  // namespace qks::job
