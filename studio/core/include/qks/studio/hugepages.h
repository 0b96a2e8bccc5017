#pragma once

namespace qks::studio {

// Starts this program again, once, with glibc's heap backed by transparent huge pages
// (the glibc.malloc.hugetlb tunable, which glibc reads only when a process starts). Opening a
// large drawing touches tens of megabytes of fresh tables on both sides of the window, and on
// virtual machines every 4 KiB page fault is an exit to the hypervisor: with 2 MiB pages the
// display list is written, loaded and painted in about half the time. The host the Studio
// starts inherits the environment, so it gains the same.
//
// Call first thing in main, before any thread or window exists. Returns when nothing is to be
// done: the tunable is set already (also by the user, to any value), this is a restart, the C
// library is not glibc, or the restart failed (the program then carries on as it is).
void restartWithHugePageHeap(char** argv);

}  // namespace qks::studio
