/* The !!TS1.0 grammar: one statement per texture shader stage, each closed by ";". Statements
   are collected into a TS10InstList; when the token after a ";" cannot start another statement
   the list is complete and is checked and set up at once. No error recovery: the first syntax
   error ends the parse, and a list that was not yet complete is discarded unchecked. */

%define api.prefix {ts10yy}
%define api.token.prefix {TS10TOK_}
%define parse.error simple
%expect 0

%code requires {
#include "shaderparse/ts10/ts10_inst.h"
}

%union {
    float number;
    unsigned kind;
    TS10TexRef texRef;
    TS10Inst inst;
}

%code {
#include <new>

#include "shaderparse/parse_state.h"
#include "shaderparse/ts10/ts10.h"
#include "shaderparse/ts10/ts10_scanner.h"

#define ts10yylex TS10NextToken

namespace {

// The statements of the program being parsed; made by its first statement.
TS10InstList* statements = nullptr;

void ts10yyerror(const char*) { parseErrors.Add("unrecognized token"); }

TS10Inst WithUnit(unsigned kind, float unit) {
    TS10Inst inst = MakeTS10Inst(static_cast<uint16_t>(kind));
    inst.args[0] = unit;
    return inst;
}

TS10Inst WithTexRef(unsigned kind, const TS10TexRef& ref) {
    TS10Inst inst = WithUnit(kind, ref.unit);
    inst.expand = ref.expand;
    return inst;
}

bool AppendStatement(const TS10Inst& inst) {
    if (statements == nullptr) statements = new (std::nothrow) TS10InstList;
    if (statements != nullptr && statements->Append(inst)) return true;
    parseErrors.Add("out of memory while reading the texture shader program");
    return false;
}

}  // namespace
}

%token <number> TEXUNIT CULL NUMBER
%token EXPAND
%token <kind> OP_PLAIN OP_CULL OP_UNIT OP_OFFSET OP_OFFSET_SCALE OP_DOT OP_DOT_EYE

%type <texRef> texture
%type <inst> statement

%%

program
    : statement_list
        {
            statements->Validate();
            statements->Invoke();
        }
    ;

statement_list
    : statement ';'                 { if (!AppendStatement($1)) YYABORT; }
    | statement_list statement ';'  { if (!AppendStatement($2)) YYABORT; }
    ;

statement
    : OP_PLAIN '(' ')'
        { $$ = MakeTS10Inst(static_cast<uint16_t>($1)); }
    | OP_CULL '(' CULL ',' CULL ',' CULL ',' CULL ')'
        {
            $$ = MakeTS10Inst(static_cast<uint16_t>($1));
            $$.args[0] = $3, $$.args[1] = $5, $$.args[2] = $7, $$.args[3] = $9;
        }
    | OP_UNIT '(' TEXUNIT ')'
        { $$ = WithUnit($1, $3); }
    | OP_OFFSET '(' TEXUNIT ',' NUMBER ',' NUMBER ',' NUMBER ',' NUMBER ')'
        {
            $$ = WithUnit($1, $3);
            $$.args[1] = $5, $$.args[2] = $7, $$.args[3] = $9, $$.args[4] = $11;
        }
    | OP_OFFSET_SCALE '(' TEXUNIT ',' NUMBER ',' NUMBER ',' NUMBER ',' NUMBER ',' NUMBER ',' NUMBER ')'
        {
            $$ = WithUnit($1, $3);
            $$.args[1] = $5, $$.args[2] = $7, $$.args[3] = $9, $$.args[4] = $11;
            $$.args[5] = $13, $$.args[6] = $15;
        }
    | OP_DOT '(' texture ')'
        { $$ = WithTexRef($1, $3); }
    | OP_DOT_EYE '(' texture ',' NUMBER ',' NUMBER ',' NUMBER ')'
        {
            $$ = WithTexRef($1, $3);
            $$.args[1] = $5, $$.args[2] = $7, $$.args[3] = $9;
        }
    ;

texture
    : TEXUNIT                       { $$.unit = $1; $$.expand = 0; }
    | EXPAND '(' TEXUNIT ')'        { $$.unit = $3; $$.expand = 1; }
    ;

%%

namespace {

void ReleaseStatements() {
    delete statements;
    statements = nullptr;
}

}  // namespace

void TS10Parse() {
    // A parse cut off by a fatal scanner error that did not end the process left its list.
    ReleaseStatements();
    TS10ResetScanner();
    ts10yyparse();
    ReleaseStatements();
}
