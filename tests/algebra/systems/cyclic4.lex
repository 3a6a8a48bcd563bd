# SymPy 1.14.0: groebner(F, B0, B1, B2, B3, order='lex', domain='QQ') of cyclic4.txt, made by scripts/algebra_reference_bases.py; coefficients rounded to 17 digits
B0 + B1 + B2 + B3
B1^2 + 2 * B1 * B3 + B3^2
B1 * B2 - B1 * B3 + B2^2 * B3^4 + B2 * B3 - 2 * B3^2
B1 * B3^4 - B1 + B3^5 - B3
B2^3 * B3^2 + B2^2 * B3^3 - B2 - B3
B2^2 * B3^6 - B2^2 * B3^2 - B3^4 + 1
