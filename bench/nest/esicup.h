// Reader for the ESICUP strip-packing instances in their JSON form.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "qks/nest/part.h"

struct EsicupItem {
    int demand = 0;
    std::vector<double> orientations;
    std::vector<qks::nest::Point> shape;  // closing point removed
};

struct EsicupInstance {
    std::string name;
    double stripHeight = 0.0;
    std::vector<EsicupItem> items;
};

// A ring from a JSON list of [x, y] pairs, a closing point that repeats the first dropped (the
// ESICUP instances and the bin-packing ones write their outlines so).
qks::nest::Outline ringOfPairs(const nlohmann::json& pairs);

bool readEsicup(const std::string& path, EsicupInstance& instance, std::string& error);
