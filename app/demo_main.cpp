#include "app/demo_main.h"

#include <GL/glut.h>

#include <cstdlib>
#include <ctime>

#include "app/app_state.h"
#include "platform/exit_program.h"
#include "app/interaction.h"
#include "app/volume_render.h"
#include "solver/grid.h"

int DemoMain(int argc, char** argv) {
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(500, 500);
    glutCreateWindow("3D volume rendering");

    glutDisplayFunc(OnDisplay);
    glutKeyboardFunc(OnKeyboard);
    glutReshapeFunc(OnReshape);
    glutMouseFunc(OnMouse);
    glutMotionFunc(OnMotion);
    glutIdleFunc(OnIdle);

    InstallStartupParameters();
    if (!AllocateFields()) {
        ExitProgram(1);
    }
    ClearFields();

    CheckRequiredExtensions();
    PrintRendererInfo();
    InitGlState();
    // Also installs the running parameters and reallocates the fields for them.
    PrepareParticleTexture();

    srand(static_cast<unsigned>(time(nullptr)));
    glutMainLoop();
    return 0;
}
