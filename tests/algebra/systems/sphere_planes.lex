# SymPy 1.14.0: groebner(F, B0, B1, B2, order='lex', domain='QQ') of sphere_planes.txt, made by scripts/algebra_reference_bases.py; coefficients rounded to 17 digits
B0 + B1 - B2
B1^2 - B1 * B2 + 0.5
B2^2 - 2
