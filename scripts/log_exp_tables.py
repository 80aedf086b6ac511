#!/usr/bin/env python3
"""Prints the constant tables of src/tuning/log_exp.cpp (run it again and
paste its output there if a table's size changes).

Every entry is a double-double: the exact value rounded to a double, then
the remainder rounded to a double, worked out with 60 decimal digits."""
from decimal import Decimal, getcontext
from fractions import Fraction

getcontext().prec = 60

EXP_STEPS = 128  # table entries per factor of two
EXP_REACH = 65   # 2^(j/128) for j in -65..65
LOG_STEPS = 128  # 1/m rounded to a double for m near idx/128, idx in 91..181
LOG_FIRST, LOG_LAST = 91, 181


def split(value):
    hi = float(value)
    lo = float(value - Decimal(Fraction(hi).numerator) / Decimal(Fraction(hi).denominator))
    return hi, lo


def exact(d):
    f = Fraction(d)
    return Decimal(f.numerator) / Decimal(f.denominator)


print("// 2^(j/%d) for j = -%d..%d." % (EXP_STEPS, EXP_REACH, EXP_REACH))
print("const Double2 EXP2_TABLE[%d] = {" % (2 * EXP_REACH + 1))
ln2 = Decimal(2).ln()
for j in range(-EXP_REACH, EXP_REACH + 1):
    hi, lo = split((ln2 * j / EXP_STEPS).exp())
    print("    {%s, %s}," % (hi.hex(), lo.hex()))
print("};")
print()
print("// For i = %d..%d: 1/c rounded to a double, with c = i/%d." % (LOG_FIRST, LOG_LAST, LOG_STEPS))
print("const double LOG_INVERSE[%d] = {" % (LOG_LAST - LOG_FIRST + 1))
inverses = [LOG_STEPS / i for i in range(LOG_FIRST, LOG_LAST + 1)]
for r in inverses:
    print("    %s," % r.hex())
print("};")
print()
print("// -ln of each LOG_INVERSE entry, exactly as rounded.")
print("const Double2 LOG_TABLE[%d] = {" % (LOG_LAST - LOG_FIRST + 1))
for r in inverses:
    hi, lo = split(-exact(r).ln())
    print("    {%s, %s}," % (hi.hex(), lo.hex()))
print("};")
