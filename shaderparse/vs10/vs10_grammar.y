/* The vs.1.0 grammar: builds one VS10Inst per line into an InstSequence, then checks and
   translates the sequence once the whole text has been recognised. No error recovery: the
   first syntax error ends the parse and discards what was built. */

%define api.prefix {vs10gr}
%define api.token.prefix {VS10TOK_}
%define parse.error simple
/* Default reductions only in states that can do nothing else: elsewhere a reduction needs a
   look-ahead that may follow it, so a bad token after a complete line is refused before the
   program is reduced (and so checked and translated). */
%define lr.default-reduction consistent
%expect 0

%code requires {
#include "shaderparse/vs10/vs10_inst.h"

/* A register operand while it is being built; becomes a VS10Reg in the instruction. */
struct VS10RegValue {
    int type;
    int index;
    int sign;
    char mask[4];
};
}

%code {
#include <cstdlib>
#include <cstring>
#include <new>

#include "shaderparse/parse_state.h"
#include "shaderparse/vs10/vs10.h"
#include "shaderparse/vs10/vs10_scanner.h"

namespace {

int vs10grlex();
void vs10grerror(const char* message);

VS10Reg MakeReg(const VS10RegValue& value) {
    VS10Reg reg;
    reg.type = value.type;
    reg.index = value.index;
    reg.sign = value.sign;
    memcpy(reg.mask, value.mask, sizeof reg.mask);
    return reg;
}

VS10RegValue MakeValue(int type, int index) {
    VS10RegValue value;
    value.type = type;
    value.index = index;
    value.sign = 1;
    memset(value.mask, 0, sizeof value.mask);
    return value;
}

void ReportConstantIndex() {
    VS10Error("constant register index must be:\t<int>, a0.x, or a0.x + <int>.\n");
}

/* The relative forms must name a0 with exactly the mask x; reports once, for the first
   broken rule. */
void CheckRelativeAddress(const VS10RegValue& reg, const char* mask) {
    bool maskIsX = mask[0] == 'x' && mask[1] == 0 && mask[2] == 0 && mask[3] == 0;
    if (reg.type != AddressReg || reg.index != 0 || !maskIsX) ReportConstantIndex();
}

/* An instruction record from a form's type and operands; the operand values are copied. */
VS10Inst* MakeInst(int type, const VS10RegValue& dst, const VS10RegValue& s0,
                   const VS10RegValue* s1 = nullptr, const VS10RegValue* s2 = nullptr) {
    return new (std::nothrow) VS10Inst(parseLineNumber, type, MakeReg(dst), MakeReg(s0),
                                       s1 ? MakeReg(*s1) : VS10Reg(),
                                       s2 ? MakeReg(*s2) : VS10Reg());
}

/* Ends an instruction line: the line ends consumed inside its tokens now count. */
void EndLine() {
    parseLineNumber += pendingNewlines;
    pendingNewlines = 0;
}

/* The sequence being built. A fatal scanner exit that does not end the process (a build that
   jumps out of it) abandons the parse with the sequence still here; the next parse releases it. */
InstSequence* sequenceInProgress = nullptr;

void ReleaseSequence(InstSequence* sequence) {
    if (sequence == sequenceInProgress) sequenceInProgress = nullptr;
    delete sequence;
}

/* Appends a line's record (when it could be made) and releases it. */
InstSequence* AppendLine(InstSequence* sequence, VS10Inst* line) {
    if (sequence && line) sequence->Append(*line);
    delete line;
    return sequence;
}

}  // namespace
}

%union {
    int ival;
    VS10RegValue reg;
    char* text;
    VS10Inst* inst;
    InstSequence* seq;
}

%token VERTEX_SHADER 257
%token ADD_INSTR 258 DP3_INSTR 259 DP4_INSTR 260 DST_INSTR 261 EXP_INSTR 262 EXPP_INSTR 263
%token FRC_INSTR 264 LIT_INSTR 265 LOG_INSTR 266 LOGP_INSTR 267 M3X2_INSTR 268 M3X3_INSTR 269
%token M3X4_INSTR 270 M4X3_INSTR 271 M4X4_INSTR 272 MAD_INSTR 273 MAX_INSTR 274 MIN_INSTR 275
%token MOV_INSTR 276 MUL_INSTR 277 NOP_INSTR 278 RCP_INSTR 279 RSQ_INSTR 280 SGE_INSTR 281
%token SLT_INSTR 282 SUB_INSTR 283
%token ILLEGAL 284 UNKNOWN_STRING 285
%token <ival> INTVAL 286
%token <reg> REGISTER 287
%token <reg> XYZW_MODIFIER 288
%token <text> COMMENT 289

%type <ival> VECTORop SCALARop UNARYop BINop TRIop
%type <reg> genericReg genReg constantReg
%type <inst> InstLine Instruction VECTORopinstruction SCALARopinstruction UNARYopinstruction
%type <inst> BINopinstruction TRIopinstruction
%type <seq> InstSequence

%destructor { free($$); } <text>
%destructor { delete $$; } <inst>
%destructor { ReleaseSequence($$); } <seq>

%start VS10Program

%%

VS10Program
    : InstSequence {
          if ($1) {
              $1->Validate();
              $1->Translate();
              ReleaseSequence($1);
          }
      }
    ;

InstSequence
    : InstLine {
          sequenceInProgress = new (std::nothrow) InstSequence;
          $$ = AppendLine(sequenceInProgress, $1);
      }
    | InstSequence InstLine { $$ = AppendLine($1, $2); }
    ;

InstLine
    : Instruction { $$ = $1; EndLine(); }
    | '\n' { $$ = new (std::nothrow) VS10Inst(parseLineNumber); EndLine(); }
    ;

Instruction
    : VECTORopinstruction
    | SCALARopinstruction
    | UNARYopinstruction
    | BINopinstruction
    | TRIopinstruction
    | NOP_INSTR { $$ = new (std::nothrow) VS10Inst(parseLineNumber, VS10_NOP); }
    | COMMENT { $$ = new (std::nothrow) VS10Inst(parseLineNumber, VS10_COMMENT, $1); if (!$$) free($1); }
    | VERTEX_SHADER { $$ = new (std::nothrow) VS10Inst(parseLineNumber, VS10_HEADER); }
    ;

VECTORopinstruction
    : VECTORop genericReg ',' genericReg { $$ = MakeInst($1, $2, $4); }
    ;

SCALARopinstruction
    : SCALARop genericReg ',' genericReg { $$ = MakeInst($1, $2, $4); }
    ;

UNARYopinstruction
    : UNARYop genericReg ',' genericReg { $$ = MakeInst($1, $2, $4); }
    ;

BINopinstruction
    : BINop genericReg ',' genericReg ',' genericReg { $$ = MakeInst($1, $2, $4, &$6); }
    ;

TRIopinstruction
    : TRIop genericReg ',' genericReg ',' genericReg ',' genericReg {
          $$ = MakeInst($1, $2, $4, &$6, &$8);
      }
    ;

VECTORop
    : MOV_INSTR { $$ = VS10_MOV; }
    | LIT_INSTR { $$ = VS10_LIT; }
    ;

SCALARop
    : RCP_INSTR { $$ = VS10_RCP; }
    | RSQ_INSTR { $$ = VS10_RSQ; }
    | EXP_INSTR { $$ = VS10_EXP; }
    | EXPP_INSTR { $$ = VS10_EXPP; }
    | LOG_INSTR { $$ = VS10_LOG; }
    | LOGP_INSTR { $$ = VS10_LOGP; }
    ;

UNARYop
    : FRC_INSTR { $$ = VS10_FRC; }
    ;

BINop
    : MUL_INSTR { $$ = VS10_MUL; }
    | ADD_INSTR { $$ = VS10_ADD; }
    | DP3_INSTR { $$ = VS10_DP3; }
    | DP4_INSTR { $$ = VS10_DP4; }
    | DST_INSTR { $$ = VS10_DST; }
    | MIN_INSTR { $$ = VS10_MIN; }
    | MAX_INSTR { $$ = VS10_MAX; }
    | SLT_INSTR { $$ = VS10_SLT; }
    | SGE_INSTR { $$ = VS10_SGE; }
    | M3X2_INSTR { $$ = VS10_M3X2; }
    | M3X3_INSTR { $$ = VS10_M3X3; }
    | M3X4_INSTR { $$ = VS10_M3X4; }
    | M4X3_INSTR { $$ = VS10_M4X3; }
    | M4X4_INSTR { $$ = VS10_M4X4; }
    | SUB_INSTR { $$ = VS10_SUB; }
    ;

TRIop
    : MAD_INSTR { $$ = VS10_MAD; }
    ;

genericReg
    : '-' genReg '.' XYZW_MODIFIER {
          $$ = $2;
          $$.sign = -1;
          memcpy($$.mask, $4.mask, sizeof $$.mask);
      }
    | genReg '.' XYZW_MODIFIER {
          $$ = $1;
          $$.sign = 1;
          memcpy($$.mask, $3.mask, sizeof $$.mask);
      }
    | '-' genReg { $$ = $2; $$.sign = -1; memset($$.mask, 0, sizeof $$.mask); }
    | genReg { $$ = $1; $$.sign = 1; memset($$.mask, 0, sizeof $$.mask); }
    ;

genReg
    : REGISTER { $$ = MakeValue($1.type, $1.index); }
    | constantReg
    ;

constantReg
    : 'c' '[' INTVAL ']' { $$ = MakeValue(ConstReg, $3); }
    | 'c' '[' REGISTER '.' XYZW_MODIFIER ']' {
          CheckRelativeAddress($3, $5.mask);
          $$ = MakeValue(ConstRelReg, 0);
      }
    | 'c' '[' REGISTER '.' XYZW_MODIFIER '+' INTVAL ']' {
          CheckRelativeAddress($3, $5.mask);
          $$ = MakeValue(ConstRelOffsetReg, $7);
      }
    | 'c' '[' REGISTER ']' { ReportConstantIndex(); $$ = MakeValue(ConstRelReg, 0); }
    | 'c' '[' REGISTER '+' INTVAL ']' { ReportConstantIndex(); $$ = MakeValue(ConstRelReg, 0); }
    | 'c' '[' '-' REGISTER ']' { ReportConstantIndex(); $$ = MakeValue(ConstRelReg, 0); }
    | 'c' '[' '-' REGISTER '+' INTVAL ']' {
          ReportConstantIndex();
          $$ = MakeValue(ConstRelReg, 0);
      }
    | 'c' '[' '-' REGISTER '.' XYZW_MODIFIER ']' {
          ReportConstantIndex();
          $$ = MakeValue(ConstRelReg, 0);
      }
    | 'c' '[' '-' REGISTER '.' XYZW_MODIFIER '+' INTVAL ']' {
          ReportConstantIndex();
          $$ = MakeValue(ConstRelReg, 0);
      }
    ;

%%

/* The parser's token codes must be the scanner's. */
#define VS10_SAME_TOKEN(name) \
    static_assert(int(VS10TOK_##name) == int(vs10tok::name), #name " differs from the scanner")
VS10_SAME_TOKEN(VERTEX_SHADER);
VS10_SAME_TOKEN(ADD_INSTR);
VS10_SAME_TOKEN(NOP_INSTR);
VS10_SAME_TOKEN(SUB_INSTR);
VS10_SAME_TOKEN(ILLEGAL);
VS10_SAME_TOKEN(UNKNOWN_STRING);
VS10_SAME_TOKEN(INTVAL);
VS10_SAME_TOKEN(REGISTER);
VS10_SAME_TOKEN(XYZW_MODIFIER);
VS10_SAME_TOKEN(COMMENT);
#undef VS10_SAME_TOKEN

namespace {

/* Pulls the next token from the scanner and turns its value into the parser's. */
int vs10grlex() {
    int token = VS10NextToken();
    switch (token) {
    case VS10TOK_INTVAL:
        vs10grlval.ival = VS10TokenValue.intValue;
        break;
    case VS10TOK_REGISTER:
        vs10grlval.reg = MakeValue(VS10TokenValue.reg.type, VS10TokenValue.reg.index);
        break;
    case VS10TOK_XYZW_MODIFIER:
        vs10grlval.reg = MakeValue(NoReg, -1);
        memcpy(vs10grlval.reg.mask, VS10TokenValue.mask, sizeof vs10grlval.reg.mask);
        break;
    case VS10TOK_COMMENT:
        vs10grlval.text = VS10TokenValue.text;
        VS10TokenValue.text = nullptr;
        break;
    default:
        break;
    }
    return token;
}

void vs10grerror(const char*) {
    VS10Error("Syntax Error.\n");
}

}  // namespace

void VS10Parse() {
    ReleaseSequence(sequenceInProgress);
    // A parse that stops early leaves the scanner holding macros and include texts; release
    // them, and the scanner's hold on a text the caller is about to free.
    if (vs10grparse() != 0) VS10EndInput();
}
