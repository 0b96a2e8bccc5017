#include "esicup.h"

#include <fstream>
#include <utility>

#include <nlohmann/json.hpp>

using Json = nlohmann::json;

qks::nest::Outline ringOfPairs(const Json& pairs) {
    qks::nest::Outline ring;
    for (const Json& point : pairs)
        ring.push_back({point.at(0).get<double>(), point.at(1).get<double>()});
    if (ring.size() > 1 && ring.front() == ring.back()) ring.pop_back();
    return ring;
}

bool readJsonFile(const std::string& path, Json& root, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    root = Json::parse(in, nullptr, false);
    if (root.is_discarded()) {
        error = "not JSON: " + path;
        return false;
    }
    return true;
}

bool readEsicup(const std::string& path, EsicupInstance& instance, std::string& error) {
    Json root;
    if (!readJsonFile(path, root, error)) return false;
    if (!root.is_object() || !root.contains("strip_height") || !root.contains("items")) {
        error = "no strip_height or items: " + path;
        return false;
    }
    try {
        instance.name = root.value("name", std::string());
        instance.stripHeight = root.at("strip_height").get<double>();
        for (const Json& item : root.at("items")) {
            EsicupItem out;
            out.demand = item.value("demand", 0);
            if (item.contains("allowed_orientations"))
                out.orientations = item.at("allowed_orientations").get<std::vector<double>>();
            out.shape = ringOfPairs(item.at("shape").at("data"));
            instance.items.push_back(std::move(out));
        }
    } catch (const Json::exception& e) {
        error = path + ": " + e.what();
        return false;
    }
    return true;
}
