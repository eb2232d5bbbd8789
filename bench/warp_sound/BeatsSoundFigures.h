#pragma once

// The beats character around drum hits: held-tone dips, music level against the source and
// hits found in a dense mix.

#include <string>

using FigurePrinter = void (*)(const std::string& name, double value, const char* unit);

void printBeatsFigures(FigurePrinter print);
