# SymPy 1.14.0: groebner(F, B0, B1, order='lex', domain='QQ') of cubic_pair.txt, made by scripts/algebra_reference_bases.py; coefficients rounded to 17 digits
B0 + 0.25 * B1^6 - 0.5 * B1^5 - 0.25 * B1^2 - 0.25 * B1 + 0.5
B1^7 - B1^3 - 3 * B1^2 - 4 * B1 - 4
