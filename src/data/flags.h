#pragma once
// Flags lines: one character a flag, "1" set; any other character, or a position past
// the end of the line, clear. Positions count from 1.
#include <string>
#include <string_view>

inline bool flagAt(std::string_view line, int position) {
    return position >= 1 && static_cast<size_t>(position) <= line.size() && line[position - 1] == '1';
}

// A line shorter than `minLength` gets `padding` appended before it is read.
inline std::string padFlags(std::string line, size_t minLength, std::string_view padding) {
    if (line.size() < minLength) line += padding;
    return line;
}

template <class Flags>
std::string flagsLine(const Flags& flags) {
    std::string line;
    for (bool f : flags) line += f ? '1' : '0';
    return line;
}
