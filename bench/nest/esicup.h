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

// The JSON document of the file at `path`; false, with `error` saying why, when the file cannot
// be read or is not JSON.
bool readJsonFile(const std::string& path, nlohmann::json& root, std::string& error);

bool readEsicup(const std::string& path, EsicupInstance& instance, std::string& error);
