#include "qks/job/read_rules.h"

#include "qks/common/numbers.h"
#include "qks/common/utf8.h"

namespace qks {

const contract::ReadRules& pluginReadRules() {
    static const contract::ReadRules rules{trimWhiteSpace, parseLeadingInt, parseLeadingDouble,
                                           sanitizeUtf8, toLowerUtf8};
    return rules;
}

}  // namespace qks
