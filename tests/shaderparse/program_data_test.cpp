// Whole programs as data: every file under tests/shaderparse/<language>/data/ is checked with
// shadercheck (--trace=- --translation=-, run from its folder) and its output compared with
// ../expected/<name>.out. The same files seed the fuzz targets. After an intended change of
// output, tests/shaderparse/update-expected.sh rewrites the expected files for review.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

struct Program {
    std::string language;  // folder under tests/shaderparse
    std::string name;
};

void PrintTo(const Program& program, std::ostream* out) {
    *out << program.language << "/data/" << program.name;
}

std::vector<Program> AllPrograms() {
    std::vector<Program> programs;
    for (const char* language : {"core", "vs10", "rc10", "ts10"}) {
        const fs::path data = fs::path(SHADERPARSE_TEST_DIR) / language / "data";
        for (const fs::directory_entry& entry : fs::directory_iterator(data)) {
            if (entry.is_regular_file())
                programs.push_back({language, entry.path().filename().string()});
        }
    }
    std::sort(programs.begin(), programs.end(), [](const Program& a, const Program& b) {
        return a.language + "/" + a.name < b.language + "/" + b.name;
    });
    return programs;
}

class ProgramDataTest : public ::testing::TestWithParam<Program> {};

TEST_P(ProgramDataTest, OutputMatchesExpected) {
    const Program& program = GetParam();
    const fs::path dir = fs::path(SHADERPARSE_TEST_DIR) / program.language;
    const fs::path expectedPath = dir / "expected" / (program.name + ".out");
    ASSERT_TRUE(fs::is_regular_file(expectedPath))
        << expectedPath << " is missing: run tests/shaderparse/update-expected.sh";
    const testsupport::RunResult result =
        testsupport::Run("cd '" + (dir / "data").string() + "' && " + SHADERCHECK +
                         " --trace=- --translation=- '" + program.name + "'");
    ASSERT_GE(result.status, 0) << result.err;
    ASSERT_LE(result.status, 1) << result.err;
    EXPECT_EQ(result.out, testsupport::ReadFile(expectedPath.string()));
}

std::string CaseName(const ::testing::TestParamInfo<Program>& info) {
    std::string name = info.param.language + "_" + info.param.name;
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramDataTest, ::testing::ValuesIn(AllPrograms()), CaseName);

// Every expected file belongs to a program: a renamed or removed program leaves none behind.
TEST(ProgramDataFilesTest, EveryExpectedFileHasItsProgram) {
    for (const char* language : {"core", "vs10", "rc10", "ts10"}) {
        const fs::path dir = fs::path(SHADERPARSE_TEST_DIR) / language;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir / "expected")) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(fs::is_regular_file(dir / "data" / name.substr(0, name.size() - 4)))
                << entry.path() << " has no program";
        }
    }
}

}  // namespace
