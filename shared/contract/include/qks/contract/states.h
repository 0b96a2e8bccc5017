// The words for where a nest job takes its parts from and for how far its search has come.
#pragma once

#include <optional>
#include <string_view>

namespace qks::contract {

// The nest config's "source" value. The job reads the word exactly: anything but "picked" and
// "files" means the current drawing.
enum class PartSource { Current, Picked, Files };
std::string_view partSourceWord(PartSource source);
PartSource partSourceFromConfig(std::string_view word);

// The parts file's source field of a part taken from the open drawing rather than a file.
inline constexpr std::string_view kCurrentDrawingSource = "CURRENT";
// Whether a parts-file source names the open drawing: "current" in any ASCII case. Any other
// text is a drawing file path.
bool isCurrentDrawingSource(std::string_view source);

// The progress file's STATE value.
enum class JobState { Running, Stopped, Done };
std::string_view jobStateWord(JobState state);
// Exact match of a word written by jobStateWord; nothing for any other text.
std::optional<JobState> jobStateFromWord(std::string_view word);

}  // namespace qks::contract
