/* The !!RC1.0 grammar: optional global constants, up to eight general combiner stages, then the
   final combiner. The program is assembled in one RC10Program while it is read; the moment the
   final combiner is complete it is validated and set up, before the parser asks for the end of
   the text (default reductions), so a token after it is a syntax error that comes after the
   set-up. No error recovery: the first syntax error ends the parse. */

%define api.prefix {rc10yy}
%define api.token.prefix {RC10TOK_}
%define parse.error simple
%expect 0

%code top {
/* The value stack starts with 200 entries and may grow to 10000. */
#define YYINITDEPTH 200
#define YYMAXDEPTH 10000
}

%code requires {
#include "shaderparse/rc10/rc10_program.h"
#include "shaderparse/rc10/rc10_scanner.h"
}

%union {
    RC10TokenValueType token;
    RC10Register reg;
    RC10MappedInput input;
    RC10Op op;
    RC10Function function;
    RC10ConstColor constColor;
}

%code {
#include "shaderparse/parse_state.h"
#include "shaderparse/rc10/rc10.h"

namespace {

// The program being read and the stage between its braces.
RC10Program program;
RC10Stage currentStage;

int rc10yylex() {
    int token = RC10NextToken();
    rc10yylval.token = RC10TokenValue;
    return token;
}

void rc10yyerror(const char*) { parseErrors.Add("unrecognized token"); }

// GL has no constant one input: `one` becomes `zero` read through the mapping that gives the
// same value, keeping the channel and flags that were written.
RC10MappedInput Mapped(GLenum mapping, GLenum mappingOfOne, RC10Register reg) {
    if (reg.Enum() == GL_ONE) {
        reg.SetEnum(GL_ZERO);
        return RC10MappedInput{mappingOfOne, reg};
    }
    return RC10MappedInput{mapping, reg};
}

RC10Op Statement(RC10OpKind kind, RC10Register dest, RC10MappedInput a, RC10MappedInput b) {
    return RC10Op{kind, dest, a, b};
}

RC10Function Function(int count, const RC10Op& op0, const RC10Op& op1, const RC10Op& op2) {
    return RC10Function{count, {op0, op1, op2}};
}

RC10ConstColor ConstColor(uint32_t reg, float r, float g, float b, float a) {
    return RC10ConstColor{RC10Register{reg}, {r, g, b, a}};
}

void SetRgb(const RC10MappedInput& a, const RC10MappedInput& b, const RC10MappedInput& c,
            const RC10MappedInput& d) {
    RC10Final& f = program.finalCombiner;
    f.a = a, f.b = b, f.c = c, f.d = d;
}

void CloseStage() {
    RC10Stages& stages = program.stages;
    if (stages.count >= RC10Stages::kMaxStages) {
        parseErrors.Add("Too many general combiners.");
        return;
    }
    stages.stage[stages.count++] = currentStage;
}

}  // namespace
}

%token <token> REG CONSTNAME FINAL_PRODUCT COLOR_SUM NUMBER SCALE_BIAS MUX_SUM PORTION
%token <token> CLAMP_COLOR_SUM
%token OUT_RGB OUT_A EXPAND HALF_BIAS UNSIGNED UNSIGNED_INVERT LERP

%type <reg> reg final_reg
%type <input> input final_input
%type <op> product dot mux_sum
%type <function> statements
%type <token> scale_bias
%type <constColor> constant

%%

program
    : global_constants stages final_combiner
        {
            Validate(program);
            Invoke(program);
        }
    ;

constant
    : CONSTNAME '=' '(' NUMBER ',' NUMBER ',' NUMBER ',' NUMBER ')' ';'
        { $$ = ConstColor($1.reg, $4.number, $6.number, $8.number, $10.number); }
    ;

global_constants
    : %empty
    | global_constant
    | global_constant global_constant
    ;

global_constant
    : constant      { program.globalConst[program.globalConstCount++] = $1; }
    ;

stages
    : %empty
    | stages stage
    ;

stage
    : stage_open local_constants portions '}'   { CloseStage(); }
    ;

stage_open
    : '{'           { currentStage = RC10Stage{}; }
    ;

local_constants
    : %empty
    | local_constant
    | local_constant local_constant
    ;

local_constant
    : constant      { currentStage.localConst[currentStage.localConstCount++] = $1; }
    ;

portions
    : portion
    | portion portion
    ;

portion
    : PORTION '{' statements scale_bias '}'
        {
            currentStage.portion[currentStage.portionCount++] =
                RC10Portion{$1.integer, $3, $4.scaleBias};
        }
    ;

scale_bias
    : %empty                        { $$.scaleBias = 0; }
    | SCALE_BIAS '(' ')' ';'        { $$ = $1; }
    ;

/* Products and dot products in any order, one or two of them; mux and sum only after two
   products. */
statements
    : product                       { $$ = Function(1, $1, RC10Op{}, RC10Op{}); }
    | dot                           { $$ = Function(1, $1, RC10Op{}, RC10Op{}); }
    | product product               { $$ = Function(2, $1, $2, RC10Op{}); }
    | product dot                   { $$ = Function(2, $1, $2, RC10Op{}); }
    | dot product                   { $$ = Function(2, $1, $2, RC10Op{}); }
    | dot dot                       { $$ = Function(2, $1, $2, RC10Op{}); }
    | product product mux_sum       { $$ = Function(3, $1, $2, $3); }
    ;

product
    : reg '=' input '*' input ';'   { $$ = Statement(kRC10Product, $1, $3, $5); }
    | reg '=' input ';'             { $$ = Statement(kRC10Product, $1, $3, RC10OneInput()); }
    ;

dot
    : reg '=' input '.' input ';'   { $$ = Statement(kRC10Dot, $1, $3, $5); }
    ;

mux_sum
    : reg '=' MUX_SUM '(' ')' ';'
        { $$ = Statement($3.integer ? kRC10Mux : kRC10Sum, $1, RC10ZeroInput(), RC10ZeroInput()); }
    ;

reg
    : REG           { $$ = RC10Register{$1.reg}; }
    | CONSTNAME     { $$ = RC10Register{$1.reg}; }
    ;

input
    : reg                               { $$ = Mapped(GL_SIGNED_IDENTITY_NV, GL_UNSIGNED_INVERT_NV, $1); }
    | '-' reg                           { $$ = Mapped(GL_SIGNED_NEGATE_NV, GL_EXPAND_NORMAL_NV, $2); }
    | EXPAND '(' reg ')'                { $$ = Mapped(GL_EXPAND_NORMAL_NV, GL_UNSIGNED_INVERT_NV, $3); }
    | '-' EXPAND '(' reg ')'            { $$ = Mapped(GL_EXPAND_NEGATE_NV, GL_EXPAND_NORMAL_NV, $4); }
    | HALF_BIAS '(' reg ')'             { $$ = Mapped(GL_HALF_BIAS_NORMAL_NV, GL_HALF_BIAS_NEGATE_NV, $3); }
    | '-' HALF_BIAS '(' reg ')'         { $$ = Mapped(GL_HALF_BIAS_NEGATE_NV, GL_HALF_BIAS_NORMAL_NV, $4); }
    | UNSIGNED '(' reg ')'              { $$ = Mapped(GL_UNSIGNED_IDENTITY_NV, GL_UNSIGNED_INVERT_NV, $3); }
    | UNSIGNED_INVERT '(' reg ')'       { $$ = Mapped(GL_UNSIGNED_INVERT_NV, GL_UNSIGNED_IDENTITY_NV, $3); }
    ;

final_combiner
    : final_options final_outputs
    ;

final_options
    : %empty
    | clamp
    | final_product
    | clamp final_product
    | final_product clamp
    ;

clamp
    : CLAMP_COLOR_SUM '(' ')' ';'       { program.finalCombiner.clamp = true; }
    ;

final_product
    : FINAL_PRODUCT '=' final_input '*' final_input ';'
        {
            program.finalCombiner.product = true;
            program.finalCombiner.e = $3;
            program.finalCombiner.f = $5;
        }
    ;

final_outputs
    : out_rgb
    | out_alpha
    | out_rgb out_alpha
    | out_alpha out_rgb
    ;

out_alpha
    : OUT_A '=' final_input ';'         { program.finalCombiner.g = $3; }
    ;

/* The final combiner computes A*B + (1-A)*C + D. */
out_rgb
    : OUT_RGB '=' rgb_expression ';'
    ;

rgb_expression
    : LERP '(' final_input ',' final_input ',' final_input ')' '+' final_input
        { SetRgb($3, $5, $7, $10); }
    | final_input '+' LERP '(' final_input ',' final_input ',' final_input ')'
        { SetRgb($5, $7, $9, $1); }
    | LERP '(' final_input ',' final_input ',' final_input ')'
        { SetRgb($3, $5, $7, RC10ZeroInput()); }
    | final_input '*' final_input
        { SetRgb($1, $3, RC10ZeroInput(), RC10ZeroInput()); }
    | final_input '*' final_input '+' final_input
        { SetRgb($1, $3, RC10ZeroInput(), $5); }
    | final_input '+' final_input
        { SetRgb($1, RC10OneInput(), RC10ZeroInput(), $3); }
    | final_input
        { SetRgb(RC10ZeroInput(), RC10ZeroInput(), RC10ZeroInput(), $1); }
    ;

final_input
    : final_reg                         { $$ = Mapped(GL_UNSIGNED_IDENTITY_NV, GL_UNSIGNED_INVERT_NV, $1); }
    | UNSIGNED '(' final_reg ')'        { $$ = Mapped(GL_UNSIGNED_IDENTITY_NV, GL_UNSIGNED_INVERT_NV, $3); }
    | UNSIGNED_INVERT '(' final_reg ')' { $$ = Mapped(GL_UNSIGNED_INVERT_NV, GL_UNSIGNED_IDENTITY_NV, $3); }
    ;

final_reg
    : reg
    | COLOR_SUM     { $$ = RC10Register{$1.reg}; }
    | FINAL_PRODUCT { $$ = RC10Register{$1.reg}; }
    ;

%%

int RC10Parse() {
    program = EmptyRC10Program();
    currentStage = RC10Stage{};
    // Nothing read ahead for an earlier text (say, after its syntax error) may leak into this one.
    RC10ResetScanner();
    return rc10yyparse();
}
