// The group codes of the dimension style variables the kernel types: the one place that maps
// them, for the reader and the writer alike.
#pragma once

#include <optional>

#include "qkshost/drawing/database.h"

namespace qkshost::dxf::detail {

struct DimVariableCode {
    int code;
    std::optional<double> drawing::DimStyleVariables::*variable;
};

inline constexpr DimVariableCode kDimVariableCodes[] = {
    {40, &drawing::DimStyleVariables::scale},
    {41, &drawing::DimStyleVariables::arrowSize},
    {42, &drawing::DimStyleVariables::extensionOffset},
    {43, &drawing::DimStyleVariables::baselineSpacing},
    {44, &drawing::DimStyleVariables::extensionExtend},
    {140, &drawing::DimStyleVariables::textHeight},
    {141, &drawing::DimStyleVariables::centerMark},
    {144, &drawing::DimStyleVariables::linearFactor},
    {147, &drawing::DimStyleVariables::textGap},
};

// The variable of `variables` that group `code` holds; nullptr for the other codes.
inline std::optional<double>* dimVariable(drawing::DimStyleVariables& variables, int code) {
    for (const DimVariableCode& entry : kDimVariableCodes)
        if (entry.code == code) return &(variables.*entry.variable);
    return nullptr;
}

}  // namespace qkshost::dxf::detail
