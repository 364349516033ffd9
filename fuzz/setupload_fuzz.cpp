// The setup window's load on any setup.dat, buttons.dat and pardata.dat (the input's
// three parts, split at bytes 1): errors are shown, never a crash, and what the controls
// hold is what the files say.
#include "data/files.h"
#include "data/setupfiles.h"
#include "platform/dialogs.h"
#include "platform/errors.h"
#include "setup/form3.h"
#include "shell/form1.h"
#include "shell/scriptedpane.h"
#include "shell/windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class Quiet : public Dialogs {
public:
    void messageBox(const std::string&, const std::string&) override {}
    void errorBox(const std::string&) override {}
    std::optional<std::string> openPicture(const std::string&) override { return std::nullopt; }
    void showHelp(const std::string&, int) override {}
};

struct Rig {
    int argc = 1;
    char name[16] = "setupload_fuzz";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
    QTemporaryDir dir;
    std::string folder = dir.path().toStdString() + "/";
    Quiet dialogs;
    ProgramWindows windows;

    Rig() {
        const QDir sample(WENLOW_SAMPLE_DIR);
        for (const QString& f : sample.entryList(QDir::Files)) QFile::copy(sample.filePath(f), dir.filePath(f));
        setApplicationErrorSink([](const std::string&) {});
        windows = createWindows(dialogs, folder, {"PARENT"},
                                [](QWidget* p) -> BrowserPane* { return new ScriptedPane(p); });
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Rig rig;
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string parts[3];
    for (std::size_t i = 0, p = 0; i < input.size(); ++i) {
        if (input[i] == '\x01' && p < 2)
            ++p;
        else
            parts[p] += input[i];
    }
    writeFileSafely(rig.folder + "setup.dat", parts[0]);
    writeFileSafely(rig.folder + "buttons.dat", parts[1]);
    writeFileSafely(rig.folder + "pardata.dat", parts[2]);
    guarded([&] { rig.windows.form3->FormShow(); });
    // Whatever the buttons' pictures did, the options and the list were set first.
    const SetupValues v = readSetupFile(rig.folder + "setup.dat");
    if (rig.windows.form3->Password != v.password) std::abort();
    for (int pos = 1; pos <= 8; ++pos)
        if (rig.windows.form3->option(pos) != v.option(pos)) std::abort();
    if (rig.windows.form3->ParentBlocks->count() != static_cast<int>(splitList(parts[2]).size())) std::abort();
    return 0;
}
