// The vs.1.0 scanner (with its macro preprocessor) as the grammar sees it.
#pragma once

// Token codes returned by VS10NextToken. Single characters ('\n', '+', ',', ...) are returned
// as their own code; 0 is the end of input.
namespace vs10tok {
enum : int {
    END = 0,
    VERTEX_SHADER = 257,
    ADD_INSTR = 258,
    DP3_INSTR,
    DP4_INSTR,
    DST_INSTR,
    EXP_INSTR,
    EXPP_INSTR,
    FRC_INSTR,
    LIT_INSTR,
    LOG_INSTR,
    LOGP_INSTR,
    M3X2_INSTR,
    M3X3_INSTR,
    M3X4_INSTR,
    M4X3_INSTR,
    M4X4_INSTR,
    MAD_INSTR,
    MAX_INSTR,
    MIN_INSTR,
    MOV_INSTR,
    MUL_INSTR,
    NOP_INSTR,
    RCP_INSTR,
    RSQ_INSTR,
    SGE_INSTR,
    SLT_INSTR,
    SUB_INSTR,  // SUB_INSTR == 283
    ILLEGAL = 284,
    UNKNOWN_STRING = 285,
    INTVAL = 286,
    REGISTER = 287,
    XYZW_MODIFIER = 288,
    COMMENT = 289,
};
static_assert(SUB_INSTR == 283, "instruction token codes run from 258 to 283");
}  // namespace vs10tok

// The value of the last token.
struct VS10TokenValueType {
    int intValue;  // INTVAL
    struct {
        int type;   // register type code
        int index;  // not written for oPos, oFog, oPts
    } reg;          // REGISTER
    char mask[4];   // XYZW_MODIFIER: letters in the order written, unused positions 0
    char* text;     // COMMENT: newly allocated (malloc); the receiver frees it
};
extern VS10TokenValueType VS10TokenValue;

// Returns the next token code and sets VS10TokenValue; 0 once the outermost text is exhausted.
// Reaching the end releases everything the scan held (macros, include texts, buffers).
int VS10NextToken();

// Releases everything a scan holds when it stops before the end of the text (a syntax error);
// the text given to VS10SetInput is not touched again. VS10SetInput does the same first.
void VS10EndInput();

// Line ends consumed inside tokens; the grammar adds them to parseLineNumber after each
// instruction line and resets the count.
extern int pendingNewlines;

// Adds "[includefile](line) : Error : <formatted text>" (or " : Warning : ") to parseErrors.
void VS10Error(const char* format, ...) __attribute__((format(printf, 1, 2)));
void VS10Warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
