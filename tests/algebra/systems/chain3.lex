# SymPy 1.14.0: groebner(F, B0, B1, B2, order='lex', domain='QQ') of chain3.txt, made by scripts/algebra_reference_bases.py; coefficients rounded to 17 digits
B0 - B2^6 + 4 * B2^4 + B2^3 - 5 * B2^2 - 2 * B2 + 2
B1 - B2^5 + 3 * B2^3 + B2^2 - 2 * B2 - 1
B2^8 - 5 * B2^6 - 2 * B2^5 + 9 * B2^4 + 6 * B2^3 - 6 * B2^2 - 5 * B2 + 1
