#!/bin/sh
# Times the Groebner kernel on katsura-6 under grevlex against Singular's
# std on the same system, in one run. Singular is installed here for this
# measurement only (the build and the tests never need it); installing it
# may switch the BLAS/LAPACK alternatives to OpenBLAS, which this script
# sets back to the reference libraries.
#   sh scripts/bench_algebra.sh [BUILD_DIR]
set -e
BUILD=${1:-build}
if ! command -v Singular >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q singular >/dev/null
    for lib in libblas.so libblas.so.3; do
        update-alternatives --set "$lib-x86_64-linux-gnu" "/usr/lib/x86_64-linux-gnu/blas/$lib" >/dev/null
    done
    for lib in liblapack.so liblapack.so.3; do
        update-alternatives --set "$lib-x86_64-linux-gnu" "/usr/lib/x86_64-linux-gnu/lapack/$lib" >/dev/null
    done
fi
cmake --build "$BUILD" -j4 --target algebra_bench >/dev/null
tevo=$("$BUILD/tests/algebra_bench" --benchmark_filter=BM_groebner_grevlex_katsura6 \
    --benchmark_format=csv 2>/dev/null | awk -F, '/katsura6/ { print $3 }')
script=$(mktemp)
cat >"$script" <<'SING'
ring r=0,(B0,B1,B2,B3,B4,B5,B6),dp;
ideal i = B0+2*B1+2*B2+2*B3+2*B4+2*B5+2*B6-1,
 B0^2+2*B1^2+2*B2^2+2*B3^2+2*B4^2+2*B5^2+2*B6^2-B0,
 2*B0*B1+2*B1*B2+2*B2*B3+2*B3*B4+2*B4*B5+2*B5*B6-B1,
 2*B0*B2+B1^2+2*B1*B3+2*B2*B4+2*B3*B5+2*B4*B6-B2,
 2*B0*B3+2*B1*B2+2*B1*B4+2*B2*B5+2*B3*B6-B3,
 2*B0*B4+2*B1*B3+2*B1*B5+B2^2+2*B2*B6-B4,
 2*B0*B5+2*B1*B4+2*B1*B6+2*B2*B3-B5;
system("--ticks-per-sec",1000000);
int t=rtimer; int k; ideal g;
for(k=1;k<=20;k++){ g=std(i); }
print((rtimer-t) div 20);
quit;
SING
singular=$(Singular -q "$script" | awk 'NR==1 { print $1 / 1000 }')
rm -f "$script"
echo "katsura-6 grevlex: tevo $tevo ms (groebner_basis), Singular $singular ms (std)"
awk -v a="$tevo" -v b="$singular" 'BEGIN { printf "ratio tevo/Singular: %.2f\n", a / b }'
