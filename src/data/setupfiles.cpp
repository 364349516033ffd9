#include "data/setupfiles.h"

#include "data/files.h"
#include "data/flags.h"

namespace {

std::string shifted(std::string s, int by) {
    for (char& c : s) c = static_cast<char>(static_cast<unsigned char>(c) + by);
    return s;
}

void line(std::string& out, const std::string& text) { out += text + "\r\n"; }

}  // namespace

std::string scramble(std::string plain) { return shifted(std::move(plain), -1); }
std::string unscramble(std::string stored) { return shifted(std::move(stored), +1); }

SetupValues readSetupFile(const std::string& path) {
    LineReader in = LineReader::open(path);
    return parseSetup(in);
}

SetupValues parseSetup(LineReader& in) {
    SetupValues v;
    v.password = unscramble(in.next());
    // The threshold is 6, not 8: a line of 6 or 7 characters is read as it stands.
    const std::string options = padFlags(in.next(), 6, "11111111");
    v.updateAddress = in.next();
    const std::string verify = padFlags(in.next(), 9, "111111111");
    const std::string shown = padFlags(in.next(), 9, "000000000");
    for (int pos = 1; pos <= 8; ++pos) v.options[pos - 1] = flagAt(options, pos);
    for (int i = 1; i <= 9; ++i) {
        v.verify[i - 1] = flagAt(verify, i);
        v.shown[i - 1] = flagAt(shown, i);
        // A hidden button has no address line.
        if (v.shown[i - 1]) v.addresses[i - 1] = in.next();
    }
    return v;
}

ButtonsValues readButtonsFile(const std::string& path) {
    LineReader in = LineReader::open(path);
    return parseButtons(in);
}

ButtonsValues parseButtons(LineReader& in) {
    ButtonsValues v;
    for (int i = 0; i < 9; ++i) {
        v.pictures[i] = in.next();
        v.labels[i] = in.next();
    }
    return v;
}

DefaultsValues readDefaultsFile(const std::string& path) {
    LineReader in = LineReader::open(path);
    DefaultsValues v;
    v.verifyLine = in.next();
    v.enableLine = in.next();
    for (auto& a : v.addresses) a = in.next();
    return v;
}

std::string setupFileBytes(const SetupValues& v) {
    std::string out;
    line(out, scramble(v.password));
    line(out, flagsLine(v.options));
    line(out, v.option(OptDefaultServer) ? std::string() : v.updateAddress);
    line(out, flagsLine(v.verify));
    line(out, flagsLine(v.shown));
    for (int i = 0; i < 9; ++i)
        if (v.shown[i]) line(out, v.addresses[i]);
    return out;
}

std::string buttonsFileBytes(const ButtonsValues& v) {
    std::string out;
    for (int i = 0; i < 9; ++i) {
        line(out, v.pictures[i]);
        line(out, v.labels[i]);
    }
    return out;
}

std::string listFileBytes(const std::vector<std::string>& entries) {
    std::string out;
    for (const auto& e : entries) line(out, e);
    return out;
}

void writeSetupFiles(const std::string& programDir, const SetupValues& setup, const ButtonsValues& buttons) {
    backupRename(programDir + "setup.dat", programDir + "setup.bak");
    writeFileSafely(programDir + "setup.dat", setupFileBytes(setup));
    backupRename(programDir + "buttons.dat", programDir + "buttons.bak");
    writeFileSafely(programDir + "buttons.dat", buttonsFileBytes(buttons));
}

void writeParentList(const std::string& programDir, const std::vector<std::string>& entries) {
    writeFileSafely(programDir + "pardata.dat", listFileBytes(entries));
}
