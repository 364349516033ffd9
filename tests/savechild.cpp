// Saves the program's files over and over, two sets of contents in turn, as the setup
// window's save, the parent list and the download do; the crash test kills it midway.
//   savechild DIR
#include "data/files.h"
#include "data/setupfiles.h"
#include "savesets.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string dir = std::string(argv[1]) + "/";
    for (unsigned k = 0;; ++k) {
        const SaveSet& s = saveSet(k % 2);
        writeSetupFiles(dir, s.setup, s.buttons);
        writeParentList(dir, s.parent);
        backupRename(dir + "data.dat", dir + "data.bak");
        writeFileSafely(dir + "data.dat", s.data);
    }
}
