/* The command language of tevo. Every statement's action runs as soon as
   its last token has been read; items of output:, transform:, set: and
   plot: run one at a time as they are read. */
%{
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "interp/act_approx.h"
#include "interp/act_control.h"
#include "interp/act_input.h"
#include "interp/act_output.h"
#include "interp/act_plot.h"
#include "interp/act_realise.h"
#include "interp/act_search.h"
#include "interp/act_settings.h"
#include "interp/act_transform.h"
#include "interp/act_xplot.h"
#include "base/error.h"
#include "base/expr.h"
#include "base/globals.h"
#include "interp/parse.h"
#include "interp/scanner.h"
#include "base/vars.h"

#define YYINITDEPTH 200
#define YYMAXDEPTH 10000

/* An integer constant where the language needs an int (an order, a count):
   one beyond the range of int abandons the statement with a clear error. */
static bool int_in_range(double v)
{
    if (v > 2147483647.0 || v < -2147483648.0) {
        char text[64];
        snprintf(text, sizeof text, "%.0f", v);
        error("integer %s is too large", text);
        return false;
    }
    return true;
}

/* Every walk over a tree (evaluation, printing, copying, freeing) recurses
   once per level. Nesting is bounded by the parser stack, but a chain such
   as 1+1+...+1 grows without it; past the stack's own depth the statement
   is abandoned. */
constexpr int max_expr_depth = YYMAXDEPTH;

static bool depth_ok(expr_node *e)
{
    if (e->depth <= max_expr_depth)
        return true;
    error("expression nested too deeply");
    free_expr(e);
    return false;
}
%}

%union {
    int ival;
    double dval;
    char *name;       /* NAME: a fresh copy, owned by whoever receives it */
    const char *str;  /* STRING: the scanner's buffer, valid until the next STRING */
    expr_node *expr;  /* a tree owned by whoever receives it */
}

%destructor { xfree($$); } <name>
%destructor { free_expr($$); } <expr>

%token INPUT OUTPUT TRANSFORM SET PLOT XPLOT WRITE WRITESP READ HISTORY BYE CASCADE CAPS
%token ORDER KW_A KW_B KW_C KW_D POLE ZERO
%token CHEBYSHEV BUTTERWORTH BESSEL CAUER GAUSS TGAUSS BESSEL_CHEBYSHEV IC RGD RIPPLE
%token KW_W KW_K POLES ZEROS DR FILTER DENOMINATOR NUMERATOR TOP BIAS KW_H KW_F KW_G
%token DO DO2 DO3 DO4 STEP STEPS SCALE SCALEW SCALEK BANDPASS LOWPASS ORTHOGONAL TRANSPOSE
%token LADDER LADDER2 OPTLADDER OPTLADDER2 GRID
%token OPTC EQC SOM NOSOM NUM SOL SFR MFR EVALC HERTZ RPS SCALE_INF SCALE2 SYMBOLIC
%token FREQ TIME LIN LOG MAGN PHASE DELAY DB IMPULSE DROPFACT DRSCFACT DRFACT RELSENS SENS
%token ABSSENS ONOISE OUTPUTCURRENTS
%token SCALE_GRID BLA LPOLY INF INT
%token ABS SIN ASIN COS ACOS TAN ATAN EXP LOG10 SQRT SN CN DN
%token DEBUG
%token BADCHAR   /* a NUL byte or a byte above 127: no rule takes it */
%token <dval> INTEGER REAL
%token <name> NAME
%token <str> STRING

%type <ival> int_const count_const response
%type <dval> real_const number step_option
%type <ival> steps_option
%type <expr> expr

%left '+' '-'
%left '*' '/'
%precedence UNARY
%right '^'
%precedence ABS SIN ASIN COS ACOS TAN ATAN EXP LOG LOG10 SQRT

%%

statement_list
    : %empty
        {
            act_start_reset();
            ist.scale_grid = 50;
            ist.verbosity = 0;
            seed_default_vars();
            prompt();
        }
    | statement_list statement
    ;

statement
    : filter_definition     { prompt(); }
    | output_statement      { prompt(); }
    | caps_statement        { prompt(); }
    | transform_statement   { prompt(); }
    | set_statement         { prompt(); }
    | write_statement       { prompt(); }
    | plot_statement        { prompt(); }
    | freq_statement        { prompt(); }
    | time_statement        { prompt(); }
    | assignment            { prompt(); }
    | debug_statement       { prompt(); }
    | read_statement        { prompt(); }
    | history_statement     { prompt(); }
    | bye_statement
    | ';'                   { prompt(); }
    | error ';'
        {
            /* A statement cut short by a syntax error: the half-entered
               filter and an open writesp file are given up. */
            act_input_abandon();
            act_writesp_abort();
            yyerrok;
            prompt();
        }
    ;

/* Filter definitions. */

filter_definition
    : INPUT ':' input_begin order_part matrix_parts ';'              { act_input_end(); }
    | CHEBYSHEV '(' int_const ',' real_const ')' ';'                 { act_chebyshev($3, $5); }
    | BUTTERWORTH '(' int_const ')' ';'                              { act_butterworth($3); }
    | CAUER '(' int_const ',' real_const ',' real_const ')' ';'      { act_cauer($3, $5, $7); }
    | BESSEL '(' int_const ')' ';'                                   { act_bessel($3); }
    | GAUSS '(' int_const ')' ';'                                    { act_gauss($3); }
    | TGAUSS '(' int_const ',' real_const ',' real_const ')' ';'     { act_tgauss($3, $5, $7); }
    | BESSEL_CHEBYSHEV '(' int_const ',' real_const ',' real_const ')' ';'
                                                                     { act_bessel_chebyshev($3, $5, $7); }
    | IC '(' int_const ',' real_const ')' ';'                        { act_ic($3, $5); }
    | RGD '(' int_const ',' real_const ')' ';'                       { act_rgd($3, $5); }
    | cascade_definition
    ;

cascade_definition
    : CASCADE '(' cascade_start section_list ')' ';'   { act_cascade_end(); }
    ;

cascade_start
    : %empty   { act_cascade_start(); }
    ;

section_list
    : section
    | section_list ',' section
    ;

section
    : pole_spec
    | pole_spec zero_spec
    ;

pole_spec
    : POLE '(' real_const ',' real_const ')'   { act_pole($3, $5); }
    | POLE '(' real_const ')'                  { act_pole($3, 0); }
    ;

zero_spec
    : ZERO '(' real_const ',' real_const ')'   { act_zero($3, $5); }
    | ZERO '(' real_const ')'                  { act_zero($3, 0); }
    ;

input_begin
    : %empty   { act_input_begin(); }
    ;

order_part
    : ORDER '=' int_const ';'   { act_set_order($3); }
    ;

matrix_parts
    : a_part b_part c_part
    | a_part b_part c_part d_part
    ;

a_part : KW_A '=' a_start number_row   { act_a_end(); } ;
b_part : KW_B '=' b_start number_row   { act_b_end(); } ;
c_part : KW_C '=' c_start number_row   { act_c_end(); } ;
a_start : %empty   { act_a_start(); } ;
b_start : %empty   { act_b_start(); } ;
c_start : %empty   { act_c_start(); } ;

d_part
    : KW_D '=' real_const   { act_d_part($3); }
    ;

number_row
    : number_list ';'   { act_row_end(); }
    ;

number_list
    : real_const                 { act_row_number($1); }
    | number_list real_const     { act_row_number($2); }
    ;

caps_statement
    : CAPS '=' caps_start number_row   { act_caps_end(); }
    ;

caps_start
    : %empty   { if (!act_caps_start()) YYERROR; }
    ;

/* Output. */

output_statement
    : OUTPUT ':' output_items ';'
    ;

output_items
    : %empty
    | output_items output_item
    ;

output_item
    : KW_W                   { act_out_w(); }
    | KW_K                   { act_out_k(); }
    | POLES                  { act_out_poles(); }
    | ZEROS                  { act_out_zeros(); }
    | DR                     { act_out_dr(); }
    | FILTER                 { act_out_filter(); }
    | NAME                   { act_out_name($1); }
    | CAPS                   { act_out_caps(); }
    | STRING                 { act_out_string($1); }
    | DENOMINATOR            { act_out_denominator(); }
    | NUMERATOR              { act_out_numerator(); }
    | TOP '(' KW_H ')'       { act_out_top_h(); }
    | TOP '(' KW_F ')'       { act_out_top_f(); }
    | BIAS                   { act_out_bias(); }
    ;

/* Transform. */

transform_statement
    : TRANSFORM ':' transform_items ';'   { act_transform_end(); }
    ;

transform_items
    : %empty
    | transform_items transform_item
    ;

transform_item
    : DO                                    { act_tr_do(); }
    | DO2 step_option                       { act_tr_do2($2); }
    | DO3 step_option                       { act_tr_do3($2); }
    | DO4 steps_option                      { act_tr_do4($2); }
    | SCALE                                 { act_tr_scale(); }
    | SCALEW '(' expr ')'                   { act_tr_scalew($3); }
    | SCALEK '(' expr ')'                   { act_tr_scalek($3); }
    | BANDPASS '(' expr ',' expr ')'        { act_tr_bandpass($3, $5); }
    | LOWPASS '(' expr ')'                  { act_tr_lowpass($3); }
    | ORTHOGONAL                            { act_tr_orthogonal(); }
    | TRANSPOSE                             { act_tr_transpose(); }
    | LADDER ladder_start ladder_options         { act_tr_ladder(); }
    | OPTLADDER optladder_start ladder_options   { act_tr_optladder(); }
    | OPTLADDER2 '(' int_const ')'          { act_tr_optladder2($3); }
    ;

step_option
    : %empty            { $$ = 0.1; }
    | STEP '=' number   { $$ = $3; }
    ;

steps_option
    : %empty                 { $$ = 3; }
    | STEPS '=' count_const  { $$ = $3; }
    ;

ladder_start : %empty      { act_ladder_start(); } ;
optladder_start : %empty   { act_optladder_start(); } ;

ladder_options
    : %empty
    | '(' weight_list ')'
    | '(' GRID '=' int_const ')'   { act_ladder_grid($4); }
    ;

weight_list
    : real_const                   { act_ladder_weight($1); }
    | weight_list ',' real_const   { act_ladder_weight($3); }
    ;

/* Plots, settings, files and control. */

plot_statement
    : PLOT ':' plot_start plot_items ';'     { act_plot_end(); }
    | XPLOT ':' xplot_start plot_items ';'   { act_xplot_end(); }
    ;

plot_start : %empty    { act_plot_start(); } ;
xplot_start : %empty   { act_xplot_start(); } ;

plot_items
    : %empty
    | plot_items plot_item
    ;

plot_item
    : MAGN '(' response ')'      { act_plot_magn($3); }
    | PHASE '(' response ')'     { act_plot_phase($3); }
    | DELAY '(' response ')'     { act_plot_delay($3); }
    | DB '(' response ')'        { act_plot_db($3); }
    | response                   { act_plot_reim($1); }
    | DROPFACT                   { act_plot_dropfact(); }
    | DRSCFACT                   { act_plot_drscfact(); }
    | DRFACT                     { act_plot_drfact(); }
    | RELSENS                    { act_plot_relsens(1); }
    | RELSENS int_const          { act_plot_relsens($2); }
    | SENS                       { act_plot_sens(1); }
    | SENS int_const             { act_plot_sens($2); }
    | ABSSENS                    { act_plot_abssens(1); }
    | ABSSENS int_const          { act_plot_abssens($2); }
    | ONOISE                     { act_plot_onoise(); }
    | DR                         { act_plot_dr(); }
    | OUTPUTCURRENTS             { act_plot_outputcurrents(); }
    | IMPULSE '(' response ')'   { act_plot_impulse($3); }
    | STEP '(' response ')'      { act_plot_step($3); }
    | NAME                       { act_plot_name($1); }
    ;

response
    : KW_H   { $$ = RESP_H; }
    | KW_G   { $$ = RESP_G; }
    | KW_F   { $$ = RESP_F; }
    ;

set_statement
    : SET ':' set_options ';'
    ;

set_options
    : %empty
    | set_options set_option
    ;

set_option
    : OPTC                 { act_set_optc(); }
    | EQC                  { act_set_eqc(); }
    | SOM                  { act_set_som(); }
    | NOSOM                { act_set_nosom(); }
    | NUM                  { act_set_num(); }
    | SOL                  { act_set_sol(); }
    | SFR                  { act_set_sfr(); }
    | MFR                  { act_set_mfr(); }
    | EVALC                { act_set_evalc(); }
    | RPS                  { act_set_rps(); }
    | HERTZ                { act_set_hertz(); }
    | SCALE_INF            { act_set_scale_inf(); }
    | SCALE2               { act_set_scale2(); }
    | SYMBOLIC int_const   { act_set_symbolic($2); }
    ;

freq_statement
    : FREQ '=' LIN '(' expr ',' expr ',' int_const ')' ';'   { act_freq_sweep($5, $7, $9, 0); }
    | FREQ '=' LOG '(' expr ',' expr ',' int_const ')' ';'   { act_freq_sweep($5, $7, $9, 1); }
    ;

time_statement
    : TIME '=' LIN '(' expr ',' expr ',' int_const ')' ';'   { act_time_sweep($5, $7, $9); }
    ;

debug_statement
    : DEBUG '=' int_const ';'   { act_debug($3); }
    ;

assignment
    : NAME '=' expr ';'              { act_assign($1, $3); }
    | SCALE_GRID '=' int_const ';'   { act_scale_grid($3); }
    | BLA '=' int_const ';'          { act_bla($3); }
    ;

write_statement
    : WRITE STRING ';'                          { act_write($2); }
    | WRITESP writesp_start string_list ';'     { act_writesp_end(); }
    ;

writesp_start : %empty   { act_writesp_start(); } ;

string_list
    : %empty
    | string_list STRING   { act_writesp_string($2); }
    ;

read_statement
    : READ STRING ';'   { act_read($2); }
    ;

history_statement
    : HISTORY ';'   { act_history(); }
    ;

bye_statement
    : BYE   { YYACCEPT; }
    ;

/* Constants and expressions. */

int_const
    : INTEGER       { if (!int_in_range($1)) YYERROR; $$ = (int)$1; }
    | '+' INTEGER   { if (!int_in_range($2)) YYERROR; $$ = (int)$2; }
    | '-' INTEGER   { if (!int_in_range(-$2)) YYERROR; $$ = (int)-$2; }
    ;

count_const
    : INTEGER       { if (!int_in_range($1)) YYERROR; $$ = (int)$1; }
    ;

/* A real constant: a REAL or an INTEGER with one optional sign. */
real_const
    : REAL          { $$ = $1; }
    | '+' REAL      { $$ = $2; }
    | '-' REAL      { $$ = -$2; }
    | INTEGER       { $$ = $1; }
    | '+' INTEGER   { $$ = $2; }
    | '-' INTEGER   { $$ = -$2; }
    ;

number
    : REAL      { $$ = $1; }
    | INTEGER   { $$ = $1; }
    ;

expr
    : '(' expr ')'                 { $$ = $2; }
    | ABS expr                     { $$ = new_unox($2, FN_ABS); }
    | '-' expr %prec UNARY         { $$ = new_unox($2, FN_NEG); }
    | '+' expr %prec UNARY         { $$ = $2; }
    | SIN expr                     { $$ = new_unox($2, FN_SIN); }
    | ASIN expr                    { $$ = new_unox($2, FN_ASIN); }
    | COS expr                     { $$ = new_unox($2, FN_COS); }
    | ACOS expr                    { $$ = new_unox($2, FN_ACOS); }
    | TAN expr                     { $$ = new_unox($2, FN_TAN); }
    | ATAN expr                    { $$ = new_unox($2, FN_ATAN); }
    | EXP expr                     { $$ = new_unox($2, FN_EXP); }
    | LOG expr                     { $$ = new_unox($2, FN_LOG); }
    | LOG10 expr                   { $$ = new_unox($2, FN_LOG10); }
    | SQRT expr                    { $$ = new_unox($2, FN_SQRT); }
    | SN '(' expr ',' expr ')'     { $$ = new_biox($3, $5, OP_SN); }
    | CN '(' expr ',' expr ')'     { $$ = new_biox($3, $5, OP_CN); }
    | DN '(' expr ',' expr ')'     { $$ = new_biox($3, $5, OP_DN); }
    | expr '+' expr                { $$ = new_biox($1, $3, OP_ADD); if (!depth_ok($$)) YYERROR; }
    | expr '-' expr                { $$ = new_biox($1, $3, OP_SUB); if (!depth_ok($$)) YYERROR; }
    | expr '*' expr                { $$ = new_biox($1, $3, OP_MUL); if (!depth_ok($$)) YYERROR; }
    | expr '/' expr                { $$ = new_biox($1, $3, OP_DIV); if (!depth_ok($$)) YYERROR; }
    | expr '^' expr                { $$ = new_biox($1, $3, OP_POW); }
    | number                       { $$ = new_numb($1); }
    | NAME                         { $$ = new_varnode($1); }
    ;

%%

void yyerror(const char *msg)
{
    /* The parser's own texts, in this program's words. */
    if (strcmp(msg, "syntax error") == 0)
        msg = "parse error";
    else if (strcmp(msg, "memory exhausted") == 0)
        msg = "parser stack overflow";
    if (ist.interactive)
        fprintf(stderr, "%s.\n", msg);
    else
        fprintf(stderr, "%s in line %d.\n", msg, ist.line_no);
    ist.exit_status = 1;
}

void prompt()
{
    if (ist.interactive) {
        printf("%s", "tevo> ");
        fflush(stdout);
    }
}
