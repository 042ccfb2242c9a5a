// The fluid3d executable: the demo started from the command line. --help and --version are
// answered here, before anything needs a display; every other argument is GLUT's.
#include <cstdio>
#include <cstring>

#include "app/demo_main.h"

namespace {

const char kUsage[] =
    "usage: fluid3d [GLUT options]\n"
    "       fluid3d --help | --version\n"
    "\n"
    "Opens a 500 x 500 window \"3D volume rendering\" and runs a 3D fluid simulation in it.\n"
    "Right drag pours density, left drag pushes the fluid, middle drag turns the view, 'a' and\n"
    "'z' turn it by half a degree, 'q' quits. The particle image is particle.bmp in the working\n"
    "directory, else the one installed with the program (share/fluid3d). Other arguments are\n"
    "GLUT's, such as -display DISPLAY or -geometry WxH+X+Y.\n";

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("fluid3d %s\n", FLUID3D_VERSION);
            return 0;
        }
    }
    return DemoMain(argc, argv);
}
