#include "extraction_options.h"

namespace qks::nest {

drawing::ExtractionOptions extractionOptions(const NestConfig& config) {
    drawing::ExtractionOptions options;
    options.layers = config.layers;
    options.joinTolerance = config.joinTolerance;
    options.units = config.units;
    options.skipNonCut = config.skipNonCut;
    options.skipLayers = config.skipLayers;
    options.rotations = config.rotate;
    options.mirroring = config.mirror;
    options.carry = config.carry;
    return options;
}

}  // namespace qks::nest
