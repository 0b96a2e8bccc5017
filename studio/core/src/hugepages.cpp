#include "qks/studio/hugepages.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace qks::studio {

void restartWithHugePageHeap(char** argv) {
#if defined(__GLIBC__) && defined(__linux__)
    constexpr const char* kRestarted = "QKS_HUGE_PAGE_HEAP";
    if (argv == nullptr || argv[0] == nullptr || std::getenv(kRestarted) != nullptr) return;
    const char* current = std::getenv("GLIBC_TUNABLES");
    std::string tunables = current != nullptr ? current : "";
    if (tunables.find("glibc.malloc.hugetlb") != std::string::npos) return;
    tunables += tunables.empty() ? "glibc.malloc.hugetlb=1" : ":glibc.malloc.hugetlb=1";
    // The marker stops a second restart should the C library drop a tunable it does not know.
    if (::setenv(kRestarted, "1", 1) != 0 || ::setenv("GLIBC_TUNABLES", tunables.c_str(), 1) != 0)
        return;
    // The program's own path, not /proc/self/exe: the kernel names the process after the file
    // executed, and "exe" is not a name a user or a process list would recognise.
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        self[length] = '\0';
        ::execv(self, argv);
    }
    // Still here: the restart failed, so the environment says what this process really has.
    if (current != nullptr)
        ::setenv("GLIBC_TUNABLES", current, 1);
    else
        ::unsetenv("GLIBC_TUNABLES");
#else
    (void)argv;
#endif
}

}  // namespace qks::studio
