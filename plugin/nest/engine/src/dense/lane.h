// What the moves of one lane work with: the model, the tuning, the lane's own generator, its work
// count and the scratch of its overlap removal.
//
// Threads: a lane belongs to one thread; `quit` is the one thing others write.
#pragma once

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "dense/model.h"

namespace qks::nest::dense {

struct Lane {
    // `own` is the lane's own copy of the context for skyline refills (its caches change as it
    // places); null when the lane makes none.
    Lane(const Model& model, std::uint32_t seed, const std::atomic<bool>& quit,
         std::unique_ptr<NestContext> own = nullptr)
        : model(model),
          tuning(model.context.denseTuning),
          quit(quit),
          own(std::move(own)),
          gen(seed),
          shrink(tuning.firstShrink) {}

    std::uint32_t pick(std::uint32_t n) { return n == 0 ? 0 : gen() % n; }
    bool stopping() const { return quit.load(std::memory_order_relaxed); }
    // Whether another lane already holds a one-sheet layout shorter than this lane's base and
    // no longer than `limit`: work towards `limit` can then only tie it.
    bool outrun(std::int32_t limit) const {
        if (sharedLength == nullptr || baseLength == kNoLength) return false;
        const std::int32_t shared = sharedLength->load(std::memory_order_relaxed);
        return shared < baseLength && shared <= limit;
    }

    const Model& model;
    const DenseTuning& tuning;
    const std::atomic<bool>& quit;
    std::unique_ptr<NestContext> own;
    std::mt19937 gen;
    // The used length of the shortest one-sheet layout any lane has found, and of this lane's
    // base when it is of one sheet (kNoLength otherwise); set by the driver.
    static constexpr std::int32_t kNoLength = std::numeric_limits<std::int32_t>::max();
    const std::atomic<std::int32_t>* sharedLength = nullptr;
    std::int32_t baseLength = kNoLength;
    std::int64_t spent = 0;  // overlap counts and free-position searches done: the lane's work
    double shrink;           // the share of a sheet's length the next shortening takes off

    // Attempts to empty the last sheet made at each sheet count (the last slot counts the rest).
    static constexpr int kSheetsTracked = 64;
    int emptyTries[kSheetsTracked] = {};

    // Scratch of the overlap removal of one sheet: its items, their overlaps and the pair
    // weights (members x members).
    std::vector<Item> work;
    OverlapTracker tracker;
    std::vector<float> weights;
    int members = 0;
    // The total overlap of `work` when the last overlap removal gave up on a sheet (its
    // strikes used up); -1 after a success or a quit.
    std::int64_t leftOverlap = -1;

    // A one-sheet layout's least overlapping arrangement below a length that overlap removal has
    // not reached yet. The next shortening starts from it, disturbed, instead of cutting the
    // feasible layout anew: the overlaps already removed are kept.
    struct Stuck {
        std::vector<Item> items;
        std::int32_t limit = 0;
        std::int64_t overlap = 0;
        int tries = 0;
    };
    std::optional<Stuck> stuck;
};

}  // namespace qks::nest::dense
