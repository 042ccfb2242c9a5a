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

namespace {

// One parameter set: the grid and the simulation constants installed together.
struct ParameterSet {
    int32_t grid;
    float timeStep, diffusionRate, viscosity, forceScale, sourceAmount;
};

void Install(const ParameterSet& set) {
    gridX = gridY = gridZ = set.grid;
    timeStep = set.timeStep;
    diffusionRate = set.diffusionRate;
    viscosity = set.viscosity;
    forceScale = set.forceScale;
    sourceAmount = set.sourceAmount;
}

}  // namespace

void InstallStartupParameters() { Install({64, 0.2f, 0.0f, 0.0f, 1.0f, 800.0f}); }

void InstallRunningParameters() { Install({16, 0.4f, 0.0f, 0.0001f, 1.0f, 40.0f}); }
