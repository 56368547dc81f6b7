#pragma once

#include <array>

// One awkward deployment value: as the build wrote it into the program, and as it was given.
struct BuildValueCase {
    const char *name;
    const char *built;
    const char *given;
};

extern const std::array<BuildValueCase, 5> buildValueCases;
