// The process entry of MORV.
#include "runtime/runtime.h"
#include "game/program.h"

int main(int argc, char** argv) { return runtime_main(argc, argv, morv_program); }
