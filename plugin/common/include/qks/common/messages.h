// Message numbers posted to the plug-in's bridge window (WM_APP-based, as on the original
// platform), and the nest stop flag the bridge sets.
#pragma once

#include <atomic>
#include <cstdint>

namespace qks {

inline constexpr std::uint32_t kAppMessageBase = 0x8000;
inline constexpr std::uint32_t runPlotMessage = kAppMessageBase + 1;
inline constexpr std::uint32_t runPlotFilesMessage = kAppMessageBase + 2;
inline constexpr std::uint32_t runMergeMessage = kAppMessageBase + 3;
inline constexpr std::uint32_t runNestMessage = kAppMessageBase + 4;
inline constexpr std::uint32_t nestFinishedMessage = kAppMessageBase + 5;
inline constexpr std::uint32_t runNestPickMessage = kAppMessageBase + 6;

// Set by the bridge ("NESTSTOP") from its own thread; read and cleared by the nest job.
std::atomic<bool>& nestStopRequested();

}  // namespace qks
