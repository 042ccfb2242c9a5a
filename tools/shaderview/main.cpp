// shaderview: shows on the real GL what legacy programs do to one quad. Each program file is
// parsed with shaderparse in an offscreen drawable, then one quad is drawn; the frame can be
// written as a PNG and single pixels printed.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

#include "glext/entry_points.h"
#include "glext/extensions.h"
#include "image/bmp_loader.h"
#include "shaderparse/parse_state.h"
#include "shaderparse/program_kind.h"
#include "shaderparse/shaderparse.h"
#include "tools/cli/cli.h"

// After the program headers: X11 (through GLX) defines names such as None.
#include "platform/offscreen_context.h"

#include <png.h>

namespace {

const char kUsage[] =
    "usage: shaderview [options] PROGRAM...\n"
    "       shaderview --help | --version\n"
    "\n"
    "Shows on the real GL what legacy programs do to one quad. Opens an offscreen drawable on\n"
    "$DISPLAY, binds vertex program 1 (glBindProgramNV), then reads each PROGRAM file in order,\n"
    "parses it with shaderparse (a !!VSP1.0 text under the id of --vsp-id) and prints its error\n"
    "list unchanged. After a !!VP1.0 or vs.1.0 text GL_VERTEX_PROGRAM_NV is enabled, after a\n"
    "!!RC1.0 text GL_REGISTER_COMBINERS_NV, after a !!TS1.0 text GL_TEXTURE_SHADER_NV, whatever\n"
    "the messages. Then the frame is cleared to (0,0,0,0) and one GL_QUADS quad is drawn:\n"
    "corners (-1,-1), (1,-1), (1,1), (-1,1) at z 0, w 1, normal (0,0,1), the two colours and\n"
    "texture coordinates (0,0,0,1), (1,0,0,1), (1,1,0,1), (0,1,0,1) on units 0 to 3.\n"
    "\n"
    "options:\n"
    "  --size=WxH              drawable size (default 64x64), RGBA 8 bits\n"
    "  --vsp-id=ID             id a !!VSP1.0 text is loaded under (default 2)\n"
    "  --param=N:x,y,z,w       set c[N] with glProgramParameter4fNV before the parses\n"
    "                          (repeatable)\n"
    "  --execute=ID:x,y,z,w    run glExecuteProgramNV(GL_VERTEX_STATE_PROGRAM_NV, ID, {x,y,z,w})\n"
    "                          after the parses (repeatable, in order)\n"
    "  --modelview=16 NUMBERS  modelview matrix for glLoadMatrixf, column-major, separated by\n"
    "                          commas (default identity)\n"
    "  --projection=16 NUMBERS projection matrix, likewise\n"
    "  --color=r,g,b,a         primary colour (default 1,1,1,1)\n"
    "  --secondary-color=r,g,b secondary colour (default 0,0,0)\n"
    "  --texture=UNIT:FILE.bmp the image as an RGB 2D texture on that unit (0 to 3), NEAREST\n"
    "                          filtering, REPEAT, enabled with GL_MODULATE\n"
    "  --texture=UNIT:FILE.bmp:signed\n"
    "                          likewise as a signed RGB texture (GL_SIGNED_RGB8_NV): each byte b\n"
    "                          is the signed value b - 128, read as (b - 128) / 128 (normal maps)\n"
    "  --fog=MODE,start,end,r,g,b\n"
    "                          fixed-function fog: MODE linear, exp or exp2 (density 1 for the\n"
    "                          exponential modes), the fog colour r,g,b (default off)\n"
    "  --out=FILE.png          write the frame as a PNG\n"
    "  --pixel=X,Y             print 'X,Y: R G B A' (0 to 255; X from the left, Y from the top)\n"
    "                          after the messages (repeatable)\n"
    "  --no-layer              never use the legacy-extension layer (the same as\n"
    "                          FLUID3D_LEGACYGL=0)\n"
    "  --help                  show this text\n"
    "\n"
    "exit status: 0 when every error list is empty, 1 when any holds messages, 2 for a usage\n"
    "error, an unreadable file or no display.\n";

struct Parameter {
    long index;
    float v[4];
};

struct Texture {
    long unit;
    std::string file;
    bool isSigned;
};

struct Fog {
    bool on = false;
    GLenum mode = GL_LINEAR;
    float start = 0, end = 1, color[3] = {0, 0, 0};
};

struct Options {
    int width = 64, height = 64;
    long vspId = 2;
    std::vector<Parameter> params, executes;
    float modelview[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float projection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float color[4] = {1, 1, 1, 1};
    float secondaryColor[3] = {0, 0, 0};
    std::vector<Texture> textures;
    Fog fog;
    std::string out;
    std::vector<std::pair<long, long>> pixels;
    bool noLayer = false;
    std::vector<std::string> programs;
};

// Exactly `count` comma-separated numbers.
void ParseFloats(const std::string& option, const std::string& value, float* out, size_t count) {
    const char* p = value.c_str();
    for (size_t i = 0; i < count; ++i) {
        char* end = nullptr;
        errno = 0;
        out[i] = std::strtof(p, &end);
        const char expected = i + 1 < count ? ',' : '\0';
        if (end == p || *end != expected || errno == ERANGE || std::isspace(*p))
            cli::UsageError("invalid value for " + option + ": '" + value + "'");
        p = end + 1;
    }
}

// "N:x,y,z,w"
Parameter ParseParameter(const std::string& option, const std::string& value, long max) {
    const size_t colon = value.find(':');
    if (colon == std::string::npos)
        cli::UsageError("invalid value for " + option + ": '" + value + "'");
    Parameter p;
    p.index = cli::ParseNumber(option, value.substr(0, colon), 0, max);
    ParseFloats(option, value.substr(colon + 1), p.v, 4);
    return p;
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string value;
        if (optionsEnded || arg.empty() || arg[0] != '-') {
            o.programs.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "--version") {
            cli::AnswerHelpOrVersion(arg, kUsage, FLUID3D_VERSION);
        } else if (cli::OptionValue(arg, "--size", value)) {
            const size_t x = value.find('x');
            if (x == std::string::npos)
                cli::UsageError("invalid value for --size: '" + value + "'");
            o.width = int(cli::ParseNumber("--size", value.substr(0, x), 1, 4096));
            o.height = int(cli::ParseNumber("--size", value.substr(x + 1), 1, 4096));
        } else if (cli::OptionValue(arg, "--vsp-id", value)) {
            o.vspId = cli::ParseNumber("--vsp-id", value, 1, INT_MAX);
        } else if (cli::OptionValue(arg, "--param", value)) {
            o.params.push_back(ParseParameter("--param", value, 95));
        } else if (cli::OptionValue(arg, "--execute", value)) {
            o.executes.push_back(ParseParameter("--execute", value, INT_MAX));
        } else if (cli::OptionValue(arg, "--modelview", value)) {
            ParseFloats("--modelview", value, o.modelview, 16);
        } else if (cli::OptionValue(arg, "--projection", value)) {
            ParseFloats("--projection", value, o.projection, 16);
        } else if (cli::OptionValue(arg, "--color", value)) {
            ParseFloats("--color", value, o.color, 4);
        } else if (cli::OptionValue(arg, "--secondary-color", value)) {
            ParseFloats("--secondary-color", value, o.secondaryColor, 3);
        } else if (cli::OptionValue(arg, "--texture", value)) {
            const size_t colon = value.find(':');
            if (colon == std::string::npos || colon + 1 == value.size())
                cli::UsageError("invalid value for --texture: '" + value + "'");
            std::string file = value.substr(colon + 1);
            const std::string kSigned = ":signed";
            const bool isSigned =
                file.size() > kSigned.size() &&
                file.compare(file.size() - kSigned.size(), kSigned.size(), kSigned) == 0;
            if (isSigned) file.resize(file.size() - kSigned.size());
            o.textures.push_back(
                {cli::ParseNumber("--texture", value.substr(0, colon), 0, 3), file, isSigned});
        } else if (cli::OptionValue(arg, "--fog", value)) {
            const size_t comma = value.find(',');
            const std::string mode = value.substr(0, comma);
            if (mode == "linear") {
                o.fog.mode = GL_LINEAR;
            } else if (mode == "exp") {
                o.fog.mode = GL_EXP;
            } else if (mode == "exp2") {
                o.fog.mode = GL_EXP2;
            } else {
                cli::UsageError("invalid value for --fog: '" + value + "'");
            }
            if (comma == std::string::npos)
                cli::UsageError("invalid value for --fog: '" + value + "'");
            float numbers[5];
            ParseFloats("--fog", value.substr(comma + 1), numbers, 5);
            o.fog.on = true;
            o.fog.start = numbers[0];
            o.fog.end = numbers[1];
            std::copy(numbers + 2, numbers + 5, o.fog.color);
        } else if (cli::OptionValue(arg, "--out", value)) {
            if (value.empty()) cli::UsageError("--out needs a FILE");
            o.out = value;
        } else if (cli::OptionValue(arg, "--pixel", value)) {
            const size_t comma = value.find(',');
            if (comma == std::string::npos)
                cli::UsageError("invalid value for --pixel: '" + value + "'");
            o.pixels.emplace_back(cli::ParseNumber("--pixel", value.substr(0, comma), 0, 4095),
                                  cli::ParseNumber("--pixel", value.substr(comma + 1), 0, 4095));
        } else if (arg == "--no-layer") {
            o.noLayer = true;
        } else {
            cli::UsageError("unknown option '" + arg + "'");
        }
    }
    if (o.programs.empty()) cli::UsageError("no PROGRAM given");
    for (const auto& p : o.pixels)
        if (p.first >= o.width || p.second >= o.height)
            cli::UsageError("--pixel=" + std::to_string(p.first) + "," + std::to_string(p.second) +
                            " lies outside the drawable");
    return o;
}

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "shaderview: %s\n", message.c_str());
    std::exit(cli::kUsageError);
}

void LoadTexture(const Texture& t) {
    RgbImage* image = LoadBmpImage(t.file.c_str());
    if (image == nullptr) Fail("cannot read the texture '" + t.file + "'");
    glext::glActiveTextureARB(GLenum(GL_TEXTURE0_ARB + t.unit));
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (t.isSigned) {
        // Bytes b are the signed values b - 128.
        const size_t bytes = size_t(image->width) * size_t(image->height) * 3;
        std::vector<signed char> values(bytes);
        for (size_t i = 0; i < bytes; ++i)
            values[i] = static_cast<signed char>(image->data[i] - 128);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_SIGNED_RGB8_NV, image->width, image->height, 0, GL_RGB,
                     GL_BYTE, values.data());
        if (glGetError() != GL_NO_ERROR) Fail("the GL refuses signed textures");
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, image->width, image->height, 0, GL_RGB,
                     GL_UNSIGNED_BYTE, image->data);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_TEXTURE_2D);
    glext::glActiveTextureARB(GL_TEXTURE0_ARB);
    std::free(image->data);
    std::free(image);
}

void DrawQuad(const Options& o) {
    static const float kCorners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    static const float kTexCoords[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glBegin(GL_QUADS);
    for (int corner = 0; corner < 4; ++corner) {
        glNormal3f(0, 0, 1);
        glColor4fv(o.color);
        glext::glSecondaryColor3fEXT(o.secondaryColor[0], o.secondaryColor[1], o.secondaryColor[2]);
        for (GLenum unit = 0; unit < 4; ++unit) {
            glext::glMultiTexCoord4fARB(GL_TEXTURE0_ARB + unit, kTexCoords[corner][0],
                                        kTexCoords[corner][1], 0, 1);
        }
        glVertex4f(kCorners[corner][0], kCorners[corner][1], 0, 1);
    }
    glEnd();
}

// Rows from the top, RGBA.
void WritePng(const std::string& path, int width, int height,
              const std::vector<unsigned char>& rgba) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) Fail("cannot write '" + path + "': " + std::strerror(errno));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        Fail("cannot write '" + path + "'");
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) png_write_row(png, &rgba[size_t(y) * width * 4]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) Fail("cannot write '" + path + "'");
}

}  // namespace

int main(int argc, char** argv) {
    cli::SetToolName("shaderview");
    const Options o = ParseOptions(argc, argv);
    std::vector<std::string> texts;
    for (const std::string& file : o.programs)
        texts.push_back(cli::ReadInput(file, kMaxProgramTextBytes));
    if (o.noLayer) setenv("FLUID3D_LEGACYGL", "0", 1);

    platform::OffscreenContext drawable;
    if (!drawable.Open(nullptr, o.width, o.height)) {
        const char* display = std::getenv("DISPLAY");
        Fail(std::string("cannot open an offscreen drawable on display '") +
             (display != nullptr ? display : "") + "'");
    }
    glViewport(0, 0, o.width, o.height);
    CheckAndLoadExtensions("GL_ARB_multitexture GL_EXT_secondary_color");
    const bool vertexPrograms = CheckAndLoadExtensions("GL_NV_vertex_program");
    if (vertexPrograms) {
        glext::glBindProgramNV(GL_VERTEX_PROGRAM_NV, 1);
        for (const Parameter& p : o.params)
            glext::glProgramParameter4fNV(GL_VERTEX_PROGRAM_NV, GLuint(p.index), p.v[0], p.v[1],
                                          p.v[2], p.v[3]);
    }
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(o.projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(o.modelview);
    for (const Texture& t : o.textures) LoadTexture(t);
    if (o.fog.on) {
        const GLfloat color[4] = {o.fog.color[0], o.fog.color[1], o.fog.color[2], 1};
        glFogi(GL_FOG_MODE, GLint(o.fog.mode));
        glFogf(GL_FOG_START, o.fog.start);
        glFogf(GL_FOG_END, o.fog.end);
        glFogfv(GL_FOG_COLOR, color);
        glEnable(GL_FOG);
    }

    bool anyMessages = false;
    for (const std::string& text : texts) {
        const ProgramKind kind = ProgramKindOf(text.c_str());
        if (kind == ProgramKind::VertexStateProgram) {
            shaderparse(text.c_str(), int(o.vspId));
        } else {
            shaderparse(text.c_str());
        }
        std::fflush(stdout);
        shaderparse_write_errors(stdout);
        anyMessages |= parseErrors.Count() != 0;
        if (kind == ProgramKind::VertexProgram || kind == ProgramKind::Vs10Shader)
            glEnable(GL_VERTEX_PROGRAM_NV);
        if (kind == ProgramKind::RegisterCombiners) glEnable(GL_REGISTER_COMBINERS_NV);
        if (kind == ProgramKind::TextureShader) glEnable(GL_TEXTURE_SHADER_NV);
    }
    if (vertexPrograms) {
        for (const Parameter& e : o.executes)
            glext::glExecuteProgramNV(GL_VERTEX_STATE_PROGRAM_NV, GLuint(e.index), e.v);
    }
    if (glext::glSecondaryColor3fEXT == nullptr || glext::glMultiTexCoord4fARB == nullptr)
        Fail("the GL lacks GL_ARB_multitexture or GL_EXT_secondary_color");
    DrawQuad(o);

    std::vector<unsigned char> bottomUp(size_t(o.width) * o.height * 4), rgba(bottomUp.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, o.width, o.height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    const size_t row = size_t(o.width) * 4;
    for (int y = 0; y < o.height; ++y)
        std::memcpy(&rgba[y * row], &bottomUp[(o.height - 1 - y) * row], row);
    for (const auto& p : o.pixels) {
        const unsigned char* c = &rgba[size_t(p.second) * row + size_t(p.first) * 4];
        std::printf("%ld,%ld: %d %d %d %d\n", p.first, p.second, c[0], c[1], c[2], c[3]);
    }
    std::fflush(stdout);
    if (!o.out.empty()) WritePng(o.out, o.width, o.height, rgba);
    return anyMessages ? 1 : 0;
}
