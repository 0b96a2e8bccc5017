// What the moves of one lane work with: the model, the tuning, the lane's own generator, its work
// count and the scratch of its overlap removal.
//
// Threads: a lane belongs to one thread; `quit` is the one thing others write.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
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

    const Model& model;
    const DenseTuning& tuning;
    const std::atomic<bool>& quit;
    std::unique_ptr<NestContext> own;
    std::mt19937 gen;
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
};

}  // namespace qks::nest::dense
