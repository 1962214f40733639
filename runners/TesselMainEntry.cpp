// The main of the Tessel::main targets: a test program linked with one of
// them needs no main of its own and takes every option of TesselMain.
#include "runners/TesselCommandLine.h"

int main(int argc, char* argv[]) { return TesselMain(argc, argv); }
