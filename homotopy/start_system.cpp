#include "homotopy/start_system.h"

#include <cmath>

#include "homotopy/complex_ops.h"
#include "homotopy/scale.h"

namespace {

// Leading coefficients and constant terms of the start system, and the
// projective coefficients: fixed, generic complex constants.
const double start_s[10][2] = {
    {0.12324754231, 0.76253746298},   {0.9385783895, -0.9937589281},    {-0.23467908356, 0.39383930009},
    {0.83542556622, -0.10192888288},  {-0.55763522521, -0.83729899911}, {-0.78348738738, -0.10578234903},
    {0.03938347346, 0.04825184716},   {-0.43428734331, 0.93836289418},  {-0.99383729993, -0.40947822291},
    {0.09383736736, 0.26459172298}};
const double start_t[10][2] = {
    {0.58720452864, 0.01321964722},   {0.978841347, -0.14433009712},    {0.39383737289, 0.41543223411},
    {-0.03938376373, -0.61253112318}, {0.39383737388, -0.26454678861},  {-0.00938376766, 0.34447867861},
    {-0.04837366632, 0.4825273679},   {0.93725237347, -0.54356527623},  {0.39373957747, 0.65573434564},
    {-0.39380038371, 0.98903450052}};
const double proj_u[11][2] = {
    {-0.03485644332, 0.28554634336},  {0.91453454766, 0.35354566613},   {-0.36568737635, 0.45634642477},
    {-0.89089767544, 0.34524523544},  {0.13523462465, 0.43534535555},   {-0.34523544445, 0.00734522256},
    {-0.80004678763, -0.009387123644}, {-0.875432124245, 0.00045687651}, {0.65256352333, -0.12356777452},
    {0.09986798321548, -0.56753456577}, {0.29674947394739, 0.93274302173}};

}  // namespace

void hom_init(const int &mode, const int &n, const int *term_count, int *e, double *coef, const int &ld,
              const int &m, double *par, int *ipar, int *deg, double *v, double *c, double *q, double *p, double *r)
{
    auto E = [&](long long j, long long i, long long k) -> int & { return e[j + i * ld + k * ld * (ld + 1LL)]; };
    for (int j = 0; j < n; j++) {
        deg[j] = 0;
        for (int k = 0; k < term_count[j]; k++) {
            int sum = 0;
            for (int i = 0; i < n; i++)
                sum += E(j, i, k);
            if (sum > deg[j])
                deg[j] = sum;
        }
        for (int k = 0; k < term_count[j]; k++) {
            int sum = 0;
            for (int i = 0; i < n; i++)
                sum += E(j, i, k);
            E(j, n, k) = deg[j] - sum;
        }
    }

    if (mode % 100 % 10 == 1) {
        // Scratch for the least-squares problem, carved from the blocks.
        double *kept_coef = par;
        double *M = kept_coef + static_cast<long long>(n) * m;
        double *b = M + 4LL * n * n;
        double *R = b + 2 * n;
        double *work = R + static_cast<long long>(n) * (2 * n + 1);
        double *f = work + 2 * n;
        double *scaled = f + n;
        int *kept_count = ipar;
        int *kept_e = ipar + n;
        int fail = 0;
        const int reuse = 0;
        const double zero_tol = 0.0;
        hom_scale(n, ld, m, term_count, e, reuse, zero_tol, coef, kept_count, kept_e, kept_coef, M, b, R, work, v, f,
                  scaled, fail);
        if (fail == 0)
            for (int j = 0; j < n; j++)
                for (int k = 0; k < term_count[j]; k++)
                    coef[static_cast<long long>(k) * ld + j] = scaled[k * n + j];
    } else {
        for (int i = 0; i < n; i++)
            v[i] = 0.0;
    }

    // Another homotopy (g > 0): every constant turned by its own angle, and
    // its modulus changed by up to a fifth, drawn by a linear congruential
    // sequence seeded with g.
    const int g = mode / 100;
    unsigned long long seed = 0x9E3779B97F4A7C15ULL * static_cast<unsigned long long>(g + 1);
    auto draw = [&seed]() {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(seed >> 11) * 0x1p-53;
    };
    auto turn = [&](const double *a, double *out) {
        if (g == 0) {
            out[0] = a[0];
            out[1] = a[1];
            return;
        }
        const double angle = 6.283185307179586 * draw(), scale = 0.8 + 0.4 * draw();
        const double cr = scale * std::cos(angle), ci = scale * std::sin(angle);
        out[0] = a[0] * cr - a[1] * ci;
        out[1] = a[0] * ci + a[1] * cr;
    };
    for (int i = 0; i <= n; i++) {
        if (mode % 100 / 10 == 1) {
            turn(proj_u[i % 11], c + 2 * i);
        } else {
            c[2 * i] = i == n ? 1.0 : 0.0;
            c[2 * i + 1] = 0.0;
        }
    }

    for (int j = 0; j < n; j++) {
        double s[2], t[2];
        turn(start_s[j % 10], s);
        turn(start_t[j % 10], t);
        hom_cpow(deg[j], s, q + 2 * j);
        hom_cpow(deg[j], t, p + 2 * j);
        int flag = 0;
        hom_cdiv(t, s, r + 2 * j, flag);
    }
}

void hom_odometer_advance(const int &n, int *odometer, const int *deg)
{
    for (int j = 0; j < n; j++) {
        if (odometer[j] < deg[j]) {
            odometer[j]++;
            break;
        }
        odometer[j] = 1;
    }
}

void hom_start_point(const int &n, int *odometer, const int *deg, const double *r, double *x)
{
    hom_odometer_advance(n, odometer, deg);
    // 2 pi as eight times the single-precision value of atan(1).
    const double twopi = 8.0 * static_cast<double>(static_cast<float>(std::atan(1.0)));
    for (int j = 0; j < n; j++) {
        const double angle = (twopi / deg[j]) * odometer[j];
        const double w[2] = {std::cos(angle), std::sin(angle)};
        hom_cmul(w, r + 2 * j, x + 2 * j);
    }
}
