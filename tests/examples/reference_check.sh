#!/bin/sh
# Checks the numbers that doc/reference.md quotes for the approximations,
# each against a closed form computed here with awk or, for the elliptic
# designs, against values from an independent design (see the comments).
# Usage: reference_check.sh TEVO
set -eu
tevo=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail=0

# value STATEMENT FREQ COLUMN: the column (magn, db or delay of H) of the
# design at one angular frequency, read from the plot file.
value() {
    printf '%s\nfreq = lin(%s, %s, 1);\nplot: %s(H);\n' "$1" "$2" "$2" "$3" > r.in
    if "$tevo" r > /dev/null 2> r.err; then
        awk 'NR == 2 { print $2 }' r.plot
    else
        echo "tevo-failed"
    fi
}

# check LABEL GOT WANT TOL: GOT is a number and |got - want| <= tol.
check() {
    if echo "$2" | grep -Eq '^-?[0-9.]+(e[-+]?[0-9]+)?$' &&
       awk -v g="$2" -v w="$3" -v t="$4" 'BEGIN { d = g - w; if (d < 0) d = -d; exit !(d <= t) }'; then
        echo "ok   $1: $2 (closed form $3)"
    else
        echo "FAIL $1: $2, expected $3 within $4"
        fail=1
    fi
}

calc() { awk "BEGIN { printf \"%.10g\", $1 }"; }
ln10=$(calc 'log(10)')

check "butterworth(4) DC" "$(value 'butterworth(4);' 0 db)" 0 1e-9
check "butterworth(4) at 1 rad/s" "$(value 'butterworth(4);' 1 db)" "$(calc '10*log(0.5)/log(10)')" 1e-5

# Chebyshev: |H|^2 = (1 + e^2 T_n(0)^2) / (1 + e^2 T_n(w)^2), e^2 = 10^(r/10) - 1.
check "chebyshev(5, 1) at 1 rad/s" "$(value 'chebyshev(5, 1);' 1 db)" -1 1e-6
check "chebyshev(4, 1) at 1 rad/s" "$(value 'chebyshev(4, 1);' 1 db)" 0 1e-6
check "chebyshev(4, 1) at cos(3 pi/8)" "$(value 'chebyshev(4, 1);' "$(calc 'cos(3*atan2(0,-1)/8)')" db)" 1 1e-6

# Cauer: the stopband attenuation from the degree equation (k1 from the nome
# q(1/ks)^n with mpmath) and scipy.signal.ellipap with that attenuation give
# 50.607055 dB for n = 5, r = 0.5, ks = 1.5. For cauer(4, 0.1, 1.1) scipy's
# poles and zeros put the zero 1.136189 on the pole -0.703816 + 0.976495j,
# whose section then has DC gain 1.136189^2 / |p|^2: -1.002739 dB.
check "cauer(5, 0.5, 1.5) at 1 rad/s" "$(value 'cauer(5, 0.5, 1.5);' 1 db)" -0.5 1e-6
check "cauer(5, 0.5, 1.5) at 1.5 rad/s" "$(value 'cauer(5, 0.5, 1.5);' 1.5 db)" -50.607055 1e-4
printf 'cauer(5, 0.5, 1.5);\nfreq = log(1.5, 30, 2000);\nplot: db(H);\n' > s.in
"$tevo" s > /dev/null
top=$(awk 'NF == 2 && $1 !~ /^#/ { if (n == 0 || $2 > hi) hi = $2; n++ } END { printf "%.9g", hi }' s.plot)
check "cauer(5, 0.5, 1.5) stopband top" "$top" -50.607055 1e-4
check "cauer(4, 0.1, 1.1) DC" "$(value 'cauer(4, 0.1, 1.1);' 0 db)" -1.002739 1e-5

check "bessel(4) delay at DC" "$(value 'bessel(4);' 0 delay)" 1 1e-9
check "ic(4, 40) at 1 rad/s" "$(value 'ic(4, 40);' 1 db)" -40 1e-6

# Gauss: |H(j1)|^2 = 1 / (1 + 2 + 2^2/2! + 2^3/3! + 2^4/4!) = 1/7.
check "gauss(4) at 1 rad/s" "$(value 'gauss(4);' 1 db)" "$(calc '-10*log(7)/log(10)')" 1e-5

# tgauss: at w = a = sqrt(ln(10) d / 20) the Chebyshev term is e^2, so
# |H|^2 = (1 + e^2) / (p(a) + e^2) with p the Gaussian polynomial of order 4.
a=$(calc "sqrt($ln10*3/20)")
x=$(calc "2*$a*$a")
pa=$(calc "1 + $x + $x^2/2 + $x^3/6 + $x^4/24")
e2=$(calc '10^(0.5/10) - 1')
check "tgauss(4, 0.5, 3) at a" "$(value 'tgauss(4, 0.5, 3);' "$a" db)" "$(calc "10*log((1+$e2)/($pa+$e2))/log(10)")" 1e-4

# bessel_chebyshev: x0 solves |B4(j x)|^2 / 105^2 = 10^(3/10) for the Bessel
# polynomial s^4 + 10 s^3 + 45 s^2 + 105 s + 105 (scipy brentq: 2.1106047),
# where |H|^2 = (1 + e^2) / (10^0.3 + e^2).
check "bessel_chebyshev(4, 0.5, 3) at x0" "$(value 'bessel_chebyshev(4, 0.5, 3);' 2.1106047 db)" "$(calc "10*log((1+$e2)/(10^0.3+$e2))/log(10)")" 1e-4

# rgd: the group delay swings between two extremes r apart over the band.
printf 'rgd(4, 0.1);\nfreq = lin(0, 1, 10000);\nplot: delay(H);\n' > g.in
"$tevo" g > /dev/null
swing=$(awk 'NF == 2 && $1 !~ /^#/ { if (n == 0 || $2 > hi) hi = $2; if (n == 0 || $2 < lo) lo = $2; n++ } END { printf "%.9g", hi - lo }' g.plot)
check "rgd(4, 0.1) delay ripple" "$swing" 0.1 1e-5

exit $fail
