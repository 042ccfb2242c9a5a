// One simulation step of the idle tick, without the redisplay request: the user's input becomes
// sources, then the velocity and density steps run. Shared by the demo and headless tools.
#pragma once

void AdvanceSimulation();
