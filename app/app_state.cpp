#include "app/app_state.h"

#include "solver/grid.h"

float timeStep = 0.0f;
float diffusionRate = 0.0f;
float viscosity = 0.0f;
float forceScale = 0.0f;
float sourceAmount = 0.0f;

int32_t windowWidth = 0, windowHeight = 0;
int32_t mouseX = 0, mouseY = 0;
int32_t lastMouseX = 0, lastMouseY = 0;
int32_t leftDown = 0, middleDown = 0, rightDown = 0;
float viewAngleY = 0.0f, viewAngleX = 0.0f;
uint32_t particleTexture = 0;

void InstallStartupParameters() {
    gridX = 64;
    gridY = 64;
    gridZ = 64;
    timeStep = 0.2f;
    diffusionRate = 0.0f;
    viscosity = 0.0f;
    forceScale = 1.0f;
    sourceAmount = 800.0f;
}

void InstallRunningParameters() {
    gridX = 16;
    gridY = 16;
    gridZ = 16;
    timeStep = 0.4f;
    diffusionRate = 0.0f;
    viscosity = 0.0001f;
    forceScale = 1.0f;
    sourceAmount = 40.0f;
}
