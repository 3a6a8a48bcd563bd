# SymPy 1.14.0: groebner(F, B0, B1, order='lex', domain='QQ') of circle_hyperbola.txt, made by scripts/algebra_reference_bases.py; coefficients rounded to 17 digits
B0 + 0.5 * B1^3 - 2.5 * B1
B1^4 - 5 * B1^2 + 4
