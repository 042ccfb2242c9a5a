#include "app/idle_step.h"

#include "app/app_state.h"
#include "app/interaction.h"
#include "solver/grid.h"
#include "solver/steps.h"

void AdvanceSimulation() {
    InjectUserInput(densityPrev, velXPrev, velYPrev);
    StepVelocity(gridX, gridY, gridZ, velX, velY, velZ, velXPrev, velYPrev, velZPrev, viscosity,
                 timeStep);
    // The density is carried by the velocity just computed.
    StepDensity(gridX, gridY, gridZ, density, densityPrev, velX, velY, velZ, diffusionRate,
                timeStep);
}
