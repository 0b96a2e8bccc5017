// The dense search: after the same first layout as the standard search, lanes (one per thread)
// move parts anywhere that is free, remove the overlaps that leaves and squeeze the last sheet.
// A layout of more than one sheet is also built anew on the parts' true outlines, sheet by sheet
// (the exact fill), and the better of the two kinds of layout is the result.
//
// Threads: runs on the calling thread, which alone calls the observer; its lanes run on threads
// of their own and meet only at the best layout, under a mutex.
#pragma once

#include "qks/nest/context.h"
#include "qks/nest/outcome.h"

namespace qks::nest {

void runDenseSearch(NestContext& context, NestOutcome& outcome, SearchObserver& observer);

}  // namespace qks::nest
