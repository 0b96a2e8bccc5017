// Message numbers posted to the plug-in's bridge window (WM_APP-based, as on the original
// platform).
#pragma once

#include <cstdint>

namespace qks {

inline constexpr std::uint32_t kAppMessageBase = 0x8000;
inline constexpr std::uint32_t runPlotMessage = kAppMessageBase + 1;
inline constexpr std::uint32_t runPlotFilesMessage = kAppMessageBase + 2;
inline constexpr std::uint32_t runMergeMessage = kAppMessageBase + 3;
inline constexpr std::uint32_t runNestMessage = kAppMessageBase + 4;
inline constexpr std::uint32_t nestFinishedMessage = kAppMessageBase + 5;
inline constexpr std::uint32_t runNestPickMessage = kAppMessageBase + 6;
inline constexpr std::uint32_t runBomMessage = kAppMessageBase + 7;
inline constexpr std::uint32_t runToolsMessage = kAppMessageBase + 8;
inline constexpr std::uint32_t writeViewMessage = kAppMessageBase + 9;
inline constexpr std::uint32_t openDrawingMessage = kAppMessageBase + 10;
inline constexpr std::uint32_t runNestAdjustMessage = kAppMessageBase + 11;

}  // namespace qks
