// The demo's main routine and the parts of its main loop that are not drawing or input.
#pragma once

// Creates the window, registers the callbacks, sets everything up and enters GLUT's main loop,
// which does not return. Called by the fluid3d executable's main and by the host start entry.
int DemoMain(int argc, char** argv);

// GLUT idle callback: one simulation step, then a redisplay request.
void OnIdle();

// Checks and loads the extensions the demo uses; names the missing ones on standard error.
// Start-up goes on either way.
void CheckRequiredExtensions();

// Prints vendor, renderer, version, extensions and the 3D texture limit on standard output.
void PrintRendererInfo();
