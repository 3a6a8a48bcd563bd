# SymPy 1.14.0: groebner(F, B0, B1, order='lex', domain='QQ') of walk_example.txt, made by scripts/algebra_reference_bases.py; coefficients rounded to 17 digits
B0 - B1^8 + 2 * B1^7 - 2 * B1^6 + 2 * B1^5 + 1.25 * B1^4 - 3 * B1^3 + 3.75 * B1^2 - 4 * B1 + 2
B1^9 - 3.25 * B1^5 + 0.5 * B1^4 - 0.25 * B1^3 + 2 * B1 - 2
