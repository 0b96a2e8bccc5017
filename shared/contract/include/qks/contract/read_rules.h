// How a reader turns field text into values. The formats' structure is shared; these lexical
// rules are each side's own on purpose: the plug-in reads numbers as the C library's atoi and
// atof do (leading number, rest ignored), the Studio as Qt's whole-field conversion does (0 for
// anything that is not one number), and each trims its own set of white space.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qks::contract {

struct ReadRules {
    // White space removed from both ends of every line before it is split; null keeps lines
    // as they are.
    std::string_view (*trimLine)(std::string_view line) = nullptr;
    std::int32_t (*toInt)(std::string_view field) = nullptr;
    double (*toDouble)(std::string_view field) = nullptr;
    // The job configs (job_configs.h), which only the plug-in reads, also need these; null
    // keeps the text as it is. The text as this side decodes bytes (the plug-in: every byte
    // that starts no well-formed UTF-8 sequence becomes U+FFFD), and lower-cased.
    std::string (*decode)(std::string_view bytes) = nullptr;
    std::string (*toLower)(std::string_view text) = nullptr;
};

}  // namespace qks::contract
