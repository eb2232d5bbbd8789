#pragma once

// The one output line of a benchmark figure, "name: value unit", the value with three
// decimals whatever the locale. Header only, for the benchmark programs.

#include "Tindrel/platform/text/LocaleFreeNumber.h"

#include <cstdio>
#include <string>

namespace tindrel::bench {

inline void printFigure(const std::string& name, double value, const char* unit) {
    std::fputs((name + ": " + formatNumber("%.3f", value) + " " + unit + "\n").c_str(), stdout);
}

} // namespace tindrel::bench
