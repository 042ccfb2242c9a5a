// The demo's process-wide state besides the grid and its fields (solver/grid.h): simulation
// parameters, window size, mouse state, view angles and the particle texture.
#pragma once

#include <cstdint>

extern float timeStep;       // simulation time per idle tick
extern float diffusionRate;  // density diffusion coefficient
extern float viscosity;      // velocity viscosity coefficient
extern float forceScale;     // velocity injected per pixel of mouse movement
extern float sourceAmount;   // density poured in per tick by the right button

extern int32_t windowWidth, windowHeight;  // pixels, as the last reshape reported them
extern int32_t mouseX, mouseY;             // latest pointer position, origin top-left
extern int32_t lastMouseX, lastMouseY;     // position at the last press/release or consumed move
extern int32_t leftDown, middleDown, rightDown;  // 1 while the button is held
extern float viewAngleY, viewAngleX;             // view rotation in degrees about y and about x
extern uint32_t particleTexture;                 // GL texture name of the particle sprite

// Start-up parameters: grid 64^3, time step 0.2, no diffusion or viscosity, force 1, source 800.
void InstallStartupParameters();
// Parameters of the running demo: grid 16^3, time step 0.4, viscosity 0.0001, force 1, source 40.
void InstallRunningParameters();
