#pragma once
// The layouts of setup.dat, buttons.dat, pardata.dat and default.dat.
#include <array>
#include <string>
#include <vector>

// Option positions of setup.dat line 2.
enum Option {
    OptEmail = 1,
    OptFtp = 2,
    OptPredefined = 3,
    OptParent = 4,
    OptNewWindow = 5,
    OptDefaultServer = 6,
    OptAutomatic = 7,
    OptVerification = 8,
};

struct SetupValues {
    std::string password;                 // plain text
    std::array<bool, 8> options{};        // options[pos - 1]
    std::string updateAddress;            // line 3
    std::array<bool, 9> verify{};         // verify[site - 1]
    std::array<bool, 9> shown{};          // shown[site - 1]
    std::array<std::string, 9> addresses; // start address of each shown site; empty when hidden

    bool option(int pos) const { return options[pos - 1]; }
};

struct ButtonsValues {
    std::array<std::string, 9> pictures;
    std::array<std::string, 9> labels;
};

struct DefaultsValues {
    std::string verifyLine;               // not padded: a missing position is clear
    std::string enableLine;
    std::array<std::string, 9> addresses; // line 2 + site
};

std::string scramble(std::string plain);    // each code one lower, modulo 256
std::string unscramble(std::string stored); // each code one higher, modulo 256

class LineReader;

// From the lines of a file's text.
SetupValues parseSetup(LineReader& in);
ButtonsValues parseButtons(LineReader& in);

// Raise "File not found" when the file cannot be opened; short files read as empty lines.
SetupValues readSetupFile(const std::string& path);
ButtonsValues readButtonsFile(const std::string& path);
DefaultsValues readDefaultsFile(const std::string& path);

// The stored bytes, every line ended by CR LF.
std::string setupFileBytes(const SetupValues& v);
std::string buttonsFileBytes(const ButtonsValues& v);
std::string listFileBytes(const std::vector<std::string>& entries);

// The save: backup rename and safe write of setup.dat, then of buttons.dat.
void writeSetupFiles(const std::string& programDir, const SetupValues& setup, const ButtonsValues& buttons);
// pardata.dat: the whole list, replacing the file, no backup.
void writeParentList(const std::string& programDir, const std::vector<std::string>& entries);
