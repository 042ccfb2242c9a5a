// Every message family of the error list in compiler form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/shadercheck/gnu_format.h"

namespace {

using shadercheck::GnuDiagnostic;

// The families that the tool's own tests do not reach, and near misses of every family. The
// others are checked through the tool, from the messages the library writes.
TEST(GnuFormatTest, RareFamiliesAndNearMisses) {
    const struct {
        const char* message;
        const char* diagnostic;
    } cases[] = {
        // The constant-program loader: line; the tab line is the reason, if there is one.
        {"error at line 3 \n\"c[96] = (1, 2, 3, 4);\"\n\tConstant address out of range\n",
         "f.vp:3: error: Constant address out of range\n    \"c[96] = (1, 2, 3, 4);\"\n"},
        {"error at line 4 \n\"c[1] = (1, 2, 3);\"\n",
         "f.vp:4: error: statement not understood\n    \"c[1] = (1, 2, 3);\"\n"},
        // A vs.1.0 macro body names its references first; they follow as further lines.
        {"main.vsh(5) : References ->\nlib.h(2) : Error : Macro string overrun.\n",
         "lib.h:2: error: Macro string overrun.\n    main.vsh(5) : References ->\n"},
        // Near misses of a family are plain text.
        {"error on line x: y", "f.vp: error: error on line x: y\n"},
        {"(1234567890) Error: too long a number",
         "f.vp: error: (1234567890) Error: too long a number\n"},
        {"error at line 2 character 5 and more",
         "f.vp: error: error at line 2 character 5 and more\n"},
        {"x(y) : Error : no line", "f.vp: error: x(y) : Error : no line\n"},
        {"", "f.vp: error: \n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GnuDiagnostic("f.vp", c.message, nullptr), c.diagnostic) << c.message;
    }
}

// For a vs.1.0 text the loader's position lies in the translation: it is reported at the vs.1.0
// line that produced the translated line, without a column, or without a line for the lines
// the translation adds itself and for positions past the map.
TEST(GnuFormatTest, LoaderPositionsInATranslationGoToTheirSourceLines) {
    const std::vector<int> sources = {0, 2, 4, 4, 0};
    const struct {
        const char* message;
        const char* diagnostic;
    } cases[] = {
        {"error at line 3 character 9\n\"DP4 R0.y\"\n",
         "s.vsh:4: error: in the !!VP1.0 translation of this line: program text not accepted "
         "here\n    \"DP4 R0.y\"\n"},
        {"error at line 5 character 1\n",
         "s.vsh: error: in the !!VP1.0 translation: program text "
         "not accepted here\n"},
        {"error at line 6 character 1\n",
         "s.vsh: error: in the !!VP1.0 translation: program text "
         "not accepted here\n"},
        {"error at line 0 character 1\n",
         "s.vsh: error: in the !!VP1.0 translation: program text "
         "not accepted here\n"},
        // Messages of other families keep their own lines.
        {"(2) Error: FRC built-in macro not yet supported.\n",
         "s.vsh:2: error: FRC built-in macro not yet supported.\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GnuDiagnostic("s.vsh", c.message, &sources), c.diagnostic) << c.message;
    }
}

}  // namespace
