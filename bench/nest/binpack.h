// The sheet benchmark: irregular bin-packing instances (JP1 and JP2, parts onto 1000 x 1000
// sheets, the fewest sheets wins) run by our dense search and, when its binary is given, by
// PackingSolver's irregular solver, one instance after the other.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "qks/nest/context.h"
#include "qks/nest/part.h"

struct BinpackItem {
    int id = 0;
    int demand = 0;
    std::vector<int> rotations;  // whole degrees
    qks::nest::Outline shape;
    std::vector<qks::nest::Outline> holes;
};

struct BinpackInstance {
    std::string name;
    std::string set;  // "JP1" or "JP2"
    double width = 0.0;
    double height = 0.0;
    std::vector<BinpackItem> items;
    int bestKnown = 0;  // 0 when none is known
    int areaBound = 0;  // total part area over sheet area, rounded up
    double partArea = 0.0;
};

// Reads one instance in the neutral format of ../shared/bench-data/binpack (README there);
// false with `error` set when the file is missing or not such an instance.
bool readBinpack(const std::string& path, BinpackInstance& instance, std::string& error);

// The fixed sample: every 17th of the 510 JP1 instances with a best-known count (TG001 - TG030
// have none) and every 16th of the 480 of JP2, in name order from the first; 30 of each, every
// group met. Entries are "jp1/NAME" or "jp2/NAME".
const std::vector<std::string>& binpackSample();

struct BinpackOptions {
    std::string data;           // the folder holding jp1/, jp2/ and packingsolver/
    std::string packingsolver;  // the peer's binary; empty: ours alone
    double seconds = 10;
    int threads = 2;
    double cell = 1;
    int sample = 60;   // instances of the fixed sample run, spread evenly over it
    std::string only;  // one instance by name
    qks::nest::DenseTuning dense;
};

// Runs the sample and prints a Markdown table per instance (bound, sheets of both, sheets above
// the bound, exact overlap and overhang of both layouts), then the totals.
void runBinpack(const BinpackOptions& options);
