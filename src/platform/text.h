#pragma once
// 8-bit text: the program keeps every address, label and list entry as one byte a
// character, Latin-1 where it meets Qt.
#include <QString>
#include <string>
#include <string_view>

// Upper-cases a to z only; every other byte stays as it is.
std::string upperAZ(std::string s);
// Lower-cases A to Z only.
std::string lowerAZ(std::string s);

std::string toAnsi(const QString& s);
QString fromAnsi(std::string_view s);

inline bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// Equal but for the letter case of A to Z.
inline bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] | 0x20) : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] | 0x20) : b[i];
        if (x != y) return false;
    }
    return true;
}

// Drops every trailing '/'.
std::string stripTrailingSlashes(std::string s);

// Percent escapes ("%41") decoded; a "%" without two hexadecimal digits after it stays.
std::string percentDecoded(std::string_view s);

// Fills the first %s or %d of a message pattern; the message texts of the program
// carry at most one such place.
std::string fillIn(std::string_view pattern, std::string_view value);
