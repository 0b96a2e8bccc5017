#include "qks/common/messages.h"

namespace qks {

std::atomic<bool>& nestStopRequested() {
    static std::atomic<bool> flag{false};
    return flag;
}

}  // namespace qks
