// shaderview through the built binary on a virtual display: legacy programs of every vertex kind
// drawn by the driver through the layer, read back as 8-bit pixels (within 1 of the values the
// programs compute), the layer switched off, and the exit statuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

using Result = testsupport::RunResult;

testsupport::VirtualDisplay* display = nullptr;

class Shaderview : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { display = new testsupport::VirtualDisplay(); }
    static void TearDownTestSuite() {
        delete display;
        display = nullptr;
    }
    void SetUp() override { ASSERT_FALSE(display->Name().empty()) << "Xvfb did not start"; }
    void TearDown() override {
        for (const std::string& f : files_) std::remove(f.c_str());
    }

    // A file in the working directory holding text; removed after the test.
    std::string File(const std::string& name, const std::string& text) {
        std::ofstream(name, std::ios::binary) << text;
        files_.push_back(name);
        return name;
    }

    Result View(const std::string& args, const std::string& environment = "") {
        return testsupport::Run(environment + " DISPLAY=" + display->Name() + " " + SHADERVIEW +
                                " " + args);
    }

    std::vector<std::string> files_;
};

// The R G B A values printed for --pixel=X,Y, or an empty vector.
std::vector<int> PixelOf(const std::string& out, const std::string& at) {
    const size_t line = out.find(at + ": ");
    if (line == std::string::npos) return {};
    std::istringstream in(out.substr(line + at.size() + 2));
    std::vector<int> rgba(4);
    for (int& c : rgba) in >> c;
    return rgba;
}

void ExpectPixel(const Result& r, const std::string& at, std::vector<int> want) {
    const std::vector<int> got = PixelOf(r.out, at);
    ASSERT_EQ(got.size(), 4u) << at << " not printed in\n" << r.out << r.err;
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(got[i], want[i], 1) << at << " channel " << i;
}

const std::string kIdentityHpos =
    "DP4 o[HPOS].x, c[0], v[OPOS];\nDP4 o[HPOS].y, c[1], v[OPOS];\n"
    "DP4 o[HPOS].z, c[2], v[OPOS];\nDP4 o[HPOS].w, c[3], v[OPOS];\n";
const std::string kIdentityParams =
    "--param=0:1,0,0,0 --param=1:0,1,0,0 --param=2:0,0,1,0 --param=3:0,0,0,1 ";

TEST_F(Shaderview, TheLitTransformedExampleOfTheReadme) {
    const std::string examples = std::string(SOURCE_DIR) + "/tools/shaderview/examples/";
    const Result r = View(
        "--modelview=0.5,0.5,0,0,-0.5,0.5,0,0,0,0,1,0,0,0,0,1 --color=1,0.5,0.25,1 "
        "--pixel=32,32 --pixel=2,2 --pixel=32,5 --out=lit.png " +
        examples + "lit.vcp " + examples + "lit.vs");
    files_.push_back("lit.png");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    // N.L = 0.6 inside the rotated square; its corners lie on the middle of the frame's edges.
    ExpectPixel(r, "32,32", {153, 77, 38, 153});
    ExpectPixel(r, "32,5", {153, 77, 38, 153});
    ExpectPixel(r, "2,2", {0, 0, 0, 0});
    const std::string png = testsupport::ReadFile("lit.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\0\x40\0\0\0\x40", 8));  // 64 x 64
}

// A 24-bit BMP of one row of RGB texels.
std::string BmpRow(const std::vector<unsigned char>& rgb) {
    const size_t width = rgb.size() / 3, row = (width * 3 + 3) / 4 * 4;
    auto le = [](uint32_t v, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i) out += char((v >> (8 * i)) & 0xff);
        return out;
    };
    std::string bmp = "BM" + le(uint32_t(54 + row), 4) + le(0, 4) + le(54, 4) + le(40, 4) +
                      le(uint32_t(width), 4) + le(1, 4) + le(1, 2) + le(24, 2) + le(0, 4) +
                      le(uint32_t(row), 4) + le(2835, 4) + le(2835, 4) + le(0, 4) + le(0, 4);
    for (size_t i = 0; i < width; ++i)
        bmp += {char(rgb[3 * i + 2]), char(rgb[3 * i + 1]), char(rgb[3 * i])};
    bmp.resize(54 + row, '\0');
    return bmp;
}

TEST_F(Shaderview, TheDotProductLitDomeOfTheReadme) {
    const std::string examples = std::string(SOURCE_DIR) + "/tools/shaderview/examples/";
    const Result r =
        View("--color=0.8,0.8,0.75,1 --secondary-color=1,0.8,0.3 --texture=0:" + examples +
             "dome_normals.bmp:signed --pixel=1,1 --out=dome.png " + examples + "dome.ts " +
             examples + "dome.rc");
    files_.push_back("dome.png");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    // Outside the dome the normal is (0, 0, 127/128); the light (0.6, 0.6, 0.5).
    const float lit = 0.5f * 127 / 128;
    ExpectPixel(r, "1,1",
                {int(255 * lit + 0.5f), int(204 * lit + 0.5f), int(76.5f * lit + 0.5f), 255});
}

TEST_F(Shaderview, SignedTexturesTextureShadersCombinersAndFog) {
    // Left texel the normal (0, 0, 127/128), right one (0.5, -0.25, 110/128), as bytes b - 128.
    const std::string bmp = File("normals.bmp", BmpRow({128, 128, 255, 192, 96, 238}));
    const std::string ts = File("one.ts", "!!TS1.0\ntexture_2d();\n");
    const std::string rc = File("lit.rc",
                                "!!RC1.0\n{ rgb { spare0 = tex0 . expand(col0); } }\n"
                                "out.rgb = lerp(fog.a, spare0, fog);\nout.a = one;\n");
    const std::string common = "--size=4x1 --color=1,0.5,1,1 --texture=0:" + bmp +
                               ":signed --pixel=0,0 --pixel=3,0 " + ts + " " + rc;
    // Light (1, 0, 1): 127/128 on the left, 0.5 + 110/128 clamped to 1 on the right.
    Result r = View(common);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    ExpectPixel(r, "0,0", {253, 253, 253, 255});
    ExpectPixel(r, "3,0", {255, 255, 255, 255});
    // Linear fog from -1 to 1 at eye distance 0: half the fog colour.
    r = View("--fog=linear,-1,1,0,0.5,1 " + common);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    ExpectPixel(r, "0,0", {127, 191, 254, 255});
    // Without the texture shader program the conventional 2D texturing of the unit feeds tex0.
    r = View("--size=4x1 --color=1,0.5,1,1 --texture=0:" + bmp + ":signed --pixel=0,0 " + rc);
    ExpectPixel(r, "0,0", {253, 253, 253, 255});
    for (const char* bad : {"--fog=cubic,0,1,0,0,0 ", "--fog=linear,0,1 "}) {
        EXPECT_EQ(View(std::string(bad) + rc).status, 2) << bad;
    }
}

TEST_F(Shaderview, VertexProgramsStateProgramsAndConstants) {
    const std::string vp = File("colour.vp", "!!VP1.0\n" + kIdentityHpos +
                                                 "MUL o[COL0], v[COL0], c[4];\n"
                                                 "ADD o[COL1], v[COL1], c[5];\nEND\n");
    // A state program doubles its input into c[4]; c[5] comes from a constant program.
    const std::string vsp = File("double.vsp", "!!VSP1.0\nADD c[4], v[0], v[0];\nEND\n");
    const std::string vcp = File("consts.vcp", "!!VCP1.0\nc[5] = (0.25, 0, 0, 0);\n");
    const struct {
        std::string args;
        std::vector<int> centre;
    } cases[] = {
        {kIdentityParams + "--param=4:1,0.5,0.25,1 " + vp, {255, 128, 64, 255}},
        // The colour sum adds the secondary colour; its alpha does not count.
        {kIdentityParams + "--param=4:1,0.5,0.25,1 --secondary-color=0,0.25,0.5 " + vcp + " " + vp,
         {255, 191, 191, 255}},
        {kIdentityParams + "--color=0.5,1,1,1 --vsp-id=3 --execute=3:0.5,0.25,0,0.5 " + vsp + " " +
             vp,
         {128, 128, 0, 255}},
    };
    for (const auto& c : cases) {
        const Result r = View("--pixel=32,32 " + c.args);
        EXPECT_EQ(r.status, 0) << c.args << "\n" << r.out << r.err;
        SCOPED_TRACE(c.args);
        ExpectPixel(r, "32,32", c.centre);
    }
}

TEST_F(Shaderview, TrackedMatricesAndTexturesOnTheQuad) {
    // c[0..3] track the projection: a projection that halves x and y leaves the frame's corner
    // empty; the texture's four texels land in the four quarters of the quad.
    const std::string vcp =
        File("track.vcp", "!!VCP1.0\nc[0] = track(GL_PROJECTION, GL_IDENTITY_NV);\n");
    const std::string vp = File("textured.vp", "!!VP1.0\n" + kIdentityHpos +
                                                   "MOV o[COL0], v[COL0];\nMOV o[TEX1], v[TEX1];\n"
                                                   "END\n");
    // A 2x2 24-bit BMP, bottom row first: red, green / blue, white.
    std::string bmp = "BM";
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) bmp += char((v >> (8 * i)) & 0xFF);
    };
    put32(70), put32(0), put32(54), put32(40), put32(2), put32(2);
    bmp += std::string("\x01\x00\x18\x00", 4);
    put32(0), put32(16), put32(0), put32(0), put32(0), put32(0);
    bmp += std::string("\x00\x00\xFF\x00\xFF\x00\x00\x00", 8);  // BGR red, green, padding
    bmp += std::string("\xFF\x00\x00\xFF\xFF\xFF\x00\x00", 8);  // blue, white, padding
    const std::string texture = File("quad.bmp", bmp);
    const Result r = View(
        "--projection=0.5,0,0,0,0,0.5,0,0,0,0,1,0,0,0,0,1 --texture=1:" + texture +
        " --pixel=2,2 --pixel=20,43 --pixel=43,43 --pixel=20,20 --pixel=43,20 " + vcp + " " + vp);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    ExpectPixel(r, "2,2", {0, 0, 0, 0});
    ExpectPixel(r, "20,43", {255, 0, 0, 255});  // bottom left
    ExpectPixel(r, "43,43", {0, 255, 0, 255});
    ExpectPixel(r, "20,20", {0, 0, 255, 255});  // top left
    ExpectPixel(r, "43,20", {255, 255, 255, 255});
}

TEST_F(Shaderview, InvalidProgramsDrawNothingAndListTheirErrors) {
    const std::string bad = File("bad.vp", "!!VP1.0\nMOV o[HPOS], v[0] END\n");
    const Result r = View("--pixel=32,32 " + bad);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("error at line 2 character 19\n"), std::string::npos) << r.out;
    ExpectPixel(r, "32,32", {0, 0, 0, 0});
    // The same text with the layer off: the extension cannot be had at all.
    for (const std::string& off : {std::string("--no-layer "), std::string()}) {
        const Result plain =
            View(off + "--pixel=32,32 " + bad, off.empty() ? "FLUID3D_LEGACYGL=0" : "");
        EXPECT_EQ(plain.status, 1);
        EXPECT_EQ(plain.out.find("unable to initialize GL_NV_vertex_program"), 0u) << plain.out;
    }
}

TEST_F(Shaderview, UsageErrorsUnreadableFilesAndNoDisplay) {
    const std::string vp = File("ok.vp", "!!VP1.0\nMOV o[HPOS], v[0];\nEND\n");
    for (const std::string& args :
         {std::string(""), "--size=0x4 " + vp, "--param=96:1,1,1,1 " + vp, "--param=1:1,1,1 " + vp,
          "--modelview=1,2,3 " + vp, "--pixel=64,0 " + vp, "--texture=4:x.bmp " + vp,
          "--bogus " + vp, std::string("missing.vp")}) {
        const Result r = View(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("shaderview: "), std::string::npos) << args << r.err;
    }
    const Result r = testsupport::Run(std::string("DISPLAY=:12345 ") + SHADERVIEW + " " + vp);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot open an offscreen drawable on display ':12345'"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(View("--help").status, 0);
    // The drawable's size bounds the pixels; the quad fills it with the unwritten o[COL0],
    // (0,0,0,1).
    const Result sized = View("--size=8x4 --pixel=7,3 " + vp);
    EXPECT_EQ(sized.status, 0) << sized.err;
    EXPECT_EQ(sized.out, "7,3: 0 0 0 255\n");
    EXPECT_EQ(View("--size=8x4 --pixel=7,4 " + vp).status, 2);
}

}  // namespace
