// The group codes of the dimension style variables the kernel types: the one place that maps
// them, for the reader and the writer alike.
#pragma once

#include <cstddef>
#include <optional>

#include "qkshost/drawing/database.h"

namespace qkshost::dxf::detail {

template <class T>
struct DimVariableCode {
    int code;
    std::optional<T> drawing::DimStyleVariables::*variable;
};

// Real-valued variables.
inline constexpr DimVariableCode<double> kDimVariableCodes[] = {
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

// 16-bit integer variables.
inline constexpr DimVariableCode<int> kDimIntegerCodes[] = {
    {73, &drawing::DimStyleVariables::textInsideHorizontal},
    {74, &drawing::DimStyleVariables::textOutsideHorizontal},
    {77, &drawing::DimStyleVariables::textAbove},
    {78, &drawing::DimStyleVariables::zeroSuppression},
    {271, &drawing::DimStyleVariables::decimals},
};

// The variable of `variables` that group `code` holds by `table`; nullptr for other codes.
template <class T, std::size_t N>
std::optional<T>* dimVariable(const DimVariableCode<T> (&table)[N],
                              drawing::DimStyleVariables& variables, int code) {
    for (const DimVariableCode<T>& entry : table)
        if (entry.code == code) return &(variables.*entry.variable);
    return nullptr;
}

}  // namespace qkshost::dxf::detail
