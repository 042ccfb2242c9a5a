// Mouse and keyboard handling: the GLUT input callbacks record the pointer and buttons and turn
// the view; InjectUserInput turns the recorded drag into sources once per idle tick.
// No GL calls here, so that tools can replay input without a GL library.
#pragma once

// GLUT mouse callback: button 0 left, 1 middle, 2 right; state 0 pressed, 1 released.
void OnMouse(int button, int state, int x, int y);
// GLUT motion callback (pointer moved with a button held). A middle drag turns the view.
void OnMotion(int x, int y);
// GLUT keyboard callback: 'a' and 'z' turn the view by half a degree, 'q' ends the program.
void OnKeyboard(unsigned char key, int x, int y);

// Clears the four source fields (velZPrev and the three given) and, while the left or right
// button is held over the grid, stores the drag as an x/y velocity source (left) or pours
// sourceAmount of density (right) into one cell of the middle z-slice.
void InjectUserInput(float* densitySource, float* velXSource, float* velYSource);
