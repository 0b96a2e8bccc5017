// What the nest job asks of the extraction, from its config.
#pragma once

#include "qks/drawing/extraction.h"
#include "qks/nest/config.h"

namespace qks::nest {

drawing::ExtractionOptions extractionOptions(const NestConfig& config);

}  // namespace qks::nest
