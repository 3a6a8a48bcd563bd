// The homotopy H(lambda, x) = lambda F(x) + (1 - lambda) G(x) between the
// start system G and the target system F, with its derivatives, evaluated
// on the real and integer evaluation blocks that the driver fills.
#pragma once

// Layout of the evaluation blocks for n equations and term capacity m.
// The integer block holds n, m, the 0-based starts of the 19 real pieces
// (25 slots), the starts of the 7 integer pieces (15 slots), then the
// degrees, the term counts and the exponents (n x (n+1) x m).
constexpr int HOM_IB_N = 0;
constexpr int HOM_IB_M = 1;
constexpr int HOM_IB_REAL_STARTS = 2;
constexpr int HOM_IB_INT_STARTS = 27;
// Real pieces (index into the real starts).
constexpr int HOM_RB_Q = 0;       // q_j, 2n
constexpr int HOM_RB_PROJ = 1;    // projective coefficients, 2(n+1)
constexpr int HOM_RB_COEF = 2;    // coefficients, n x m
constexpr int HOM_RB_H = 3;       // H, 2n
constexpr int HOM_RB_DHDX = 4;    // dH/dx in real form, 2n x 2n
constexpr int HOM_RB_DHDL = 5;    // dH/dlambda, 2n
constexpr int HOM_RB_XDM1 = 6;    // x_j^(d_j-1), 2n
constexpr int HOM_RB_XD = 7;      // x_j^d_j, 2n
constexpr int HOM_RB_G = 8;       // G, 2n
constexpr int HOM_RB_DG = 9;      // dG_j/dx_j, 2n
constexpr int HOM_RB_QXDM1 = 10;  // q_j x_j^(d_j-1), 2n
constexpr int HOM_RB_QXD = 11;    // q_j x_j^d_j, 2n
constexpr int HOM_RB_F = 12;      // F, 2n
constexpr int HOM_RB_DF = 13;     // dF_j/dx_i, complex n x (n+1)
constexpr int HOM_RB_POW = 14;    // table of powers x_i^0 .. x_i^D_i, 2(n+1) n m
constexpr int HOM_RB_TERM = 15;   // term values, complex n x m
constexpr int HOM_RB_DTERM = 16;  // kept for the layout, 2(n+1) n m
constexpr int HOM_RB_CX = 17;     // c_j x_j, 2n
constexpr int HOM_RB_DXNP1 = 18;  // dx_(n+1)/dx_j, 2n
constexpr int HOM_RB_PIECES = 19;
// Integer pieces.
constexpr int HOM_IB_NN = 0;
constexpr int HOM_IB_MM = 1;
constexpr int HOM_IB_RSTART = 2;
constexpr int HOM_IB_ISTART = 3;
constexpr int HOM_IB_DEG = 4;
constexpr int HOM_IB_TC = 5;
constexpr int HOM_IB_EXP = 6;
constexpr int HOM_IB_PIECES = 7;

// Lengths of the blocks.
long long hom_real_block_length(long long n, long long m);
long long hom_int_block_length(long long n, long long m);
// Writes n, m and the piece starts into the integer block.
void hom_block_starts(int n, int m, int *ipar);

// H at (lambda, x) into result[2n]; p holds the start-system constants.
void hom_value(const double *p, const double &lambda, const double *x, double *result, double *par, int *ipar);
// Column K (1-based) of [dH/dlambda | dH/dx] into result[2n]: K = 1
// evaluates, K >= 2 copies from the last evaluation.
void hom_jacobian(const double *p, const double &lambda, const double *x, double *result, const int &K, double *par,
                  int *ipar);
// Evaluates H and its derivatives into the real block, unless the block
// holds them for this very point already.
void hom_eval(const double *p, const double &lambda, const double *x, double *par, const int *ipar);
// Drops the record of the last point, for a block filled anew.
void hom_eval_forget(double *par, const int *ipar);
void hom_eval_core(int n, int m, const double *p, double lambda, const double *x, const int *deg, const int *tc,
                   const int *e, const double *q, const double *c, const double *coef, double *h, double *dhdx,
                   double *dhdl, double *xdm1, double *xd, double *g, double *dg, double *qxdm1, double *qxd,
                   double *f, double *df, double *pw, double *term, double *dterm, double *cx, double *dxnp1);
// F and dF/dx_i (i = 1..n+1, then chained through x_(n+1)) of the target
// system in projective form.
void hom_eval_target(int n, int m, const double *x, const int *tc, const int *e, const double *c,
                     const double *coef, double *f, double *df, double *pw, double *term, double *dterm,
                     double *cx, double *dxnp1);
// G_j = q_j x_j^d_j - p_j and dG_j/dx_j.
void hom_eval_start(int n, const double *x, const int *deg, const double *q, const double *p, double *xdm1,
                    double *xd, double *qxdm1, double *qxd, double *g, double *dg);
