#pragma once

// Awkward deployment values as the build writes them into the program (see CMakeLists.txt).
#define ORVY_TEST_QUOTE @ORVY_TEST_QUOTE_LITERAL@
#define ORVY_TEST_BACKSLASH @ORVY_TEST_BACKSLASH_LITERAL@
#define ORVY_TEST_SEMICOLON @ORVY_TEST_SEMICOLON_LITERAL@
#define ORVY_TEST_UTF8 @ORVY_TEST_UTF8_LITERAL@
#define ORVY_TEST_MIXED @ORVY_TEST_MIXED_LITERAL@
