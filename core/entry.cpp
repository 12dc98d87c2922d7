// The process entry point of both executables. An allocation that fails
// never gets here: kxutil ends the program on the spot with its own line.
#include "FrontEnd.h"
#include "kxutil.h"
#include "modMain.h"

int main(int argc, char **argv) {
    kxutil::kxInitProcess(argc, argv);
    try {
        modMain::Main();
        return 0;
    } catch (const modMain::RunTimeError &error) {
        FrontEnd::ShowRunTimeError(modMain::RunTimeErrorLine(error));
    }
    return 1;
}
