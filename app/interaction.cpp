#include "app/interaction.h"

#include "app/app_state.h"
#include "platform/exit_program.h"
#include "solver/grid.h"

namespace {
constexpr int kGlutDown = 0;

// to - from as a float; taken in 64 bits so that no pair of positions can overflow.
float PixelDelta(int32_t to, int32_t from) {
    return static_cast<float>(static_cast<int64_t>(to) - from);
}
}  // namespace

void OnMouse(int button, int state, int x, int y) {
    int32_t* flag = nullptr;
    switch (button) {
        case 0:
            flag = &leftDown;
            break;
        case 1:
            flag = &middleDown;
            break;
        case 2:
            flag = &rightDown;
            break;
        default:
            return;  // other buttons (wheel etc.) are not looked at
    }
    mouseX = lastMouseX = x;
    mouseY = lastMouseY = y;
    *flag = (state == kGlutDown) ? 1 : 0;
}

void OnMotion(int x, int y) {
    mouseX = x;
    mouseY = y;
    if (!middleDown) {
        return;  // the movement is left for InjectUserInput
    }
    // One degree per pixel; dragging right or down decreases the angle.
    viewAngleY = viewAngleY - PixelDelta(mouseX, lastMouseX);
    viewAngleX = viewAngleX - PixelDelta(mouseY, lastMouseY);
    lastMouseX = mouseX;
    lastMouseY = mouseY;
}

void OnKeyboard(unsigned char key, int /*x*/, int /*y*/) {
    switch (key) {
        case 'a':
            viewAngleY = viewAngleY + 0.5f;
            break;
        case 'z':
            viewAngleY = viewAngleY - 0.5f;
            break;
        case 'q':
            ExitProgram(0);
        default:
            break;
    }
}

void InjectUserInput(float* densitySource, float* velXSource, float* velYSource) {
    const int cells = (gridX + 2) * (gridY + 2) * (gridZ + 2);
    for (int n = 0; n < cells; ++n) {
        velZPrev[n] = 0.0f;
        densitySource[n] = 0.0f;
        velYSource[n] = 0.0f;
        velXSource[n] = 0.0f;
    }
    if (!leftDown && !rightDown) {
        return;
    }
    // A window without area has no pixel to map; inject nothing rather than divide by zero.
    if (windowWidth <= 0 || windowHeight <= 0) {
        return;
    }
    // Pointer to cell column; the window's y axis points down, the grid's up.
    const double fi = static_cast<double>(mouseX) / windowWidth * gridX + 1.0;
    const double fj = (static_cast<double>(windowHeight) - mouseY) / windowHeight * gridY + 1.0;
    // Range test before converting, so far-off positions cannot overflow the conversion.
    if (!(fi > -1.0 && fi < gridX + 1.0 && fj > -1.0 && fj < gridY + 1.0)) {
        return;
    }
    const int i = static_cast<int>(fi);  // truncation toward zero
    const int j = static_cast<int>(fj);
    if (i < 1 || i > gridX || j < 1 || j > gridY) {
        return;  // outside the grid's area: nothing injected, movement kept for later
    }
    const int cell = CellIndex(i, j, gridZ / 2);
    if (leftDown) {
        velXSource[cell] = PixelDelta(mouseX, lastMouseX) * forceScale;
        velYSource[cell] = PixelDelta(lastMouseY, mouseY) * forceScale;
    }
    if (rightDown) {
        densitySource[cell] = sourceAmount;
    }
    lastMouseX = mouseX;
    lastMouseY = mouseY;
}
