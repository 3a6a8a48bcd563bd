# SymPy 1.14.0: groebner(F, B0, B1, B2, order='lex', domain='QQ') of cyclic3.txt, made by scripts/algebra_reference_bases.py; coefficients rounded to 17 digits
B0 + B1 + B2
B1^2 + B1 * B2 + B2^2
B2^3 - 1
