// The fluid3d executable: the demo started from the command line.
#include "app/demo_main.h"

int main(int argc, char** argv) { return DemoMain(argc, argv); }
