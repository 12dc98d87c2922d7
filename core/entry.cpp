// The process entry point of both executables.
#include "FrontEnd.h"
#include "kxutil.h"
#include "modMain.h"

#include <new>

int main(int argc, char **argv) {
    kxutil::kxInitProcess(argc, argv);
    try {
        modMain::Main();
        return 0;
    } catch (const modMain::RunTimeError &error) {
        FrontEnd::ShowRunTimeError(modMain::RunTimeErrorLine(error));
    } catch (const std::bad_alloc &) {
        FrontEnd::ShowRunTimeError(
            modMain::RunTimeErrorLine({"allocating memory", -12, "out of memory"}));
    }
    return 1;
}
