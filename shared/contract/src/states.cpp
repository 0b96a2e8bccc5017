#include "qks/contract/states.h"

namespace qks::contract {

std::string_view partSourceWord(PartSource source) {
    switch (source) {
        case PartSource::Picked:
            return "picked";
        case PartSource::Files:
            return "files";
        case PartSource::Current:
            break;
    }
    return "current";
}

PartSource partSourceFromConfig(std::string_view word) {
    if (word == "picked") return PartSource::Picked;
    if (word == "files") return PartSource::Files;
    return PartSource::Current;
}

bool isCurrentDrawingSource(std::string_view source) {
    // Lower-casing Unicode maps no code point outside ASCII onto the letters of "current", so
    // an ASCII fold decides the same as a full one.
    constexpr std::string_view word = "current";
    if (source.size() != word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        char c = source[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i]) return false;
    }
    return true;
}

std::string_view jobStateWord(JobState state) {
    switch (state) {
        case JobState::Stopped:
            return "stopped";
        case JobState::Done:
            return "done";
        case JobState::Running:
            break;
    }
    return "running";
}

std::optional<JobState> jobStateFromWord(std::string_view word) {
    for (JobState state : {JobState::Running, JobState::Stopped, JobState::Done})
        if (word == jobStateWord(state)) return state;
    return std::nullopt;
}

}  // namespace qks::contract
