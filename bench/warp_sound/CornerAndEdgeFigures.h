#pragma once

// Figures over the whole grid of warp settings: the worst pitch error of a sine at every
// speed and pitch, played and exported, and the worst level change of a held tone where a
// range that alone is warped begins and ends.

void printCornerAndEdgeFigures();
