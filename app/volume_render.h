// Drawing the density field: GL state set-up, the particle texture, the camera and the frame.
#pragma once

#include <string>

struct RgbImage;

// Clear colour black, texturing and additive blending on.
void InitGlState();

// The particle image: particle.bmp in the working directory when there is one, else the one
// installed with the program (share/fluid3d beside the executable's or library's folder); the
// working-directory name again when neither exists, so that the loader's message names it.
std::string ParticleImagePath();

// Builds the particle texture from the image at ParticleImagePath() (untextured sprites when
// it cannot be read), sets the point size, then installs the running parameters,
// reallocates and clears the fields (ExitProgram(1) when that fails) and sets the window size
// to 512 x 512.
void PrepareParticleTexture();
// The same with the particle image read from fileName.
void PrepareParticleTextureFrom(const char* fileName);

// Particle texels for an RGB image: RGBA with red and green halved, blue kept and alpha = half
// the red, one texel per pixel over width x height. A malloc'd buffer, or null when the image
// has no pixels or the buffer cannot be had.
unsigned char* BuildParticleTexels(const RgbImage& image);

// GLUT reshape callback: records the window size and sets a 60 degree perspective camera.
void OnReshape(int width, int height);
// GLUT display callback: turns the scene by the view angles and draws the volume.
void OnDisplay();
// One textured point sprite per inner cell with alpha = density squared, then the wire cube.
void DrawVolume();
