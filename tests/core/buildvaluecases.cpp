// Kept out of the test's own file: moc cannot read raw string literals with quotes.
#include "buildvaluecases.h"

#include "buildvalues.h"

const std::array<BuildValueCase, 5> buildValueCases { {
    { "quotes", ORVY_TEST_QUOTE, R"(Pa"ss"word12)" },
    { "backslashes", ORVY_TEST_BACKSLASH, R"(Pa\ss\nword\)" },
    { "semicolons", ORVY_TEST_SEMICOLON, R"(Pass;word;12)" },
    { "Arabic script", ORVY_TEST_UTF8, R"(پاسۆرد-12)" },
    { "mixed", ORVY_TEST_MIXED, R"(a"\;$ {x}@y@'b)" },
} };
