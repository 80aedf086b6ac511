// Logarithm and exponential, correctly rounded in practice. A quick path
// works each result out to about 68 bits from tables and short polynomials
// and returns it when the rounding is beyond doubt; otherwise (about one
// argument in a few hundred) the accurate path works it out to about 100
// bits in double-double arithmetic. Both paths round the same value, so
// the results are those of the accurate path alone. How far that holds is
// stated in log_exp.h.
#include "tuning/log_exp.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace mt {

namespace {

// An unevaluated sum hi + lo with |lo| at most half an ulp of hi.
struct Double2 {
    double hi, lo;
};

Double2 TwoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// Needs |a| >= |b|.
Double2 FastTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// The exact product, by Dekker's splitting into 26-bit halves.
Double2 TwoProduct(double a, double b) {
    const double splitter = 134217729.0;  // 2^27 + 1
    const double ta = splitter * a, tb = splitter * b;
    const double ah = ta - (ta - a), al = a - ah;
    const double bh = tb - (tb - b), bl = b - bh;
    const double p = a * b;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

Double2 Add(Double2 a, Double2 b) {
    Double2 s = TwoSum(a.hi, b.hi);
    const Double2 t = TwoSum(a.lo, b.lo);
    s = FastTwoSum(s.hi, s.lo + t.hi);
    return FastTwoSum(s.hi, s.lo + t.lo);
}

Double2 Multiply(Double2 a, Double2 b) {
    const Double2 p = TwoProduct(a.hi, b.hi);
    return FastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

Double2 Multiply(Double2 a, double b) {
    const Double2 p = TwoProduct(a.hi, b);
    return FastTwoSum(p.hi, p.lo + a.lo * b);
}

Double2 Divide(Double2 a, double b) {
    const double q = a.hi / b;
    const Double2 p = TwoProduct(q, b);
    return FastTwoSum(q, (((a.hi - p.hi) - p.lo) + a.lo) / b);
}

// ln 2 to 107 bits.
const Double2 LN2_DD = {0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};

// e^x as mantissa * 2^scale, mantissa in double-double near 1, for finite
// x with |x| < 800.
Double2 ExpParts(double x, int *scale) {
    // x = k ln 2 + r with |r| <= ln 2 / 2 (about), r to double-double.
    const double k = std::floor(x / LN2_DD.hi + 0.5);
    const Double2 r = Add({x, 0.0}, Multiply(LN2_DD, -k));
    // e^r = (e^(r/1024))^1024; e^(r/1024) - 1 by its Taylor series, then
    // ten squarings in the form (1 + m)^2 - 1 = m (2 + m).
    const Double2 s = {r.hi / 1024.0, r.lo / 1024.0};
    Double2 m = {1.0, 0.0};
    for (int n = 10; n >= 2; --n) m = Add({1.0, 0.0}, Divide(Multiply(m, s), n));
    m = Multiply(m, s);
    for (int i = 0; i < 10; ++i) m = Multiply(m, Add({2.0, 0.0}, m));
    *scale = static_cast<int>(k);
    return Add({1.0, 0.0}, m);
}

double AccurateExp(double x) {
    int scale;
    const Double2 mantissa = ExpParts(x, &scale);
    return std::ldexp(mantissa.hi, scale);
}

// ln(m 2^e), for m in [sqrt(1/2), sqrt(2)).
double AccurateLog(double m, int e) {
    // A first value from ln m = 2 atanh((m - 1) / (m + 1)), good to a few
    // ulps; |s| < 0.172, so 13 terms reach below 2^-60.
    const double s = (m - 1.0) / (m + 1.0), s2 = s * s;
    double sum = 0.0;
    for (int n = 25; n >= 1; n -= 2) sum = 1.0 / n + s2 * sum;
    const double y0 = 2.0 * s * sum;

    // One Newton step in double-double: ln m = y0 + ln(1 + t) with
    // t = m e^-y0 - 1, tiny, so ln(1 + t) = t - t^2 / 2 to 2^-100.
    int scale;
    Double2 ey = ExpParts(-y0, &scale);
    ey = {std::ldexp(ey.hi, scale), std::ldexp(ey.lo, scale)};
    const Double2 t = Add(Multiply(ey, m), {-1.0, 0.0});
    Double2 y = Add({y0, 0.0}, t);
    y = Add(y, {-0.5 * t.hi * t.hi, 0.0});
    return Add(Multiply(LN2_DD, static_cast<double>(e)), y).hi;
}

// hi is the correctly rounded value of any number within 2^-62 |hi| of
// hi + rem (the quick paths' own error stays below 2^-66, the accurate
// path's below 2^-74 wherever the quick paths answer).
bool RoundingIsCertain(double hi, double rem) {
    const double margin = std::fabs(hi) * 0x1p-62;
    return hi + (rem + margin) == hi && hi + (rem - margin) == hi;
}

// Rounds to the nearest integer (ties to even) for |v| < 2^51, with
// ordinary double arithmetic in the current rounding mode.
double RoundToInteger(double v) {
    const double shifter = 0x1.8p52;
    return (v + shifter) - shifter;
}

// 2^(j/128) for j = -65..65.
const Double2 EXP2_TABLE[131] = {
    {0x1.68155d44ca973p-1, 0x1.038ae44f73e65p-58},  {0x1.6a09e667f3bcdp-1, -0x1.bdd3413b26456p-55},
    {0x1.6c012750bdabfp-1, -0x1.2895667ff0b0dp-57}, {0x1.6dfb23c651a2fp-1, -0x1.bbe3a683c88abp-58},
    {0x1.6ff7df9519484p-1, -0x1.83c0f25860ef6p-56}, {0x1.71f75e8ec5f74p-1, -0x1.16e4786887a99p-56},
    {0x1.73f9a48a58174p-1, -0x1.0a8d96c65d53cp-55}, {0x1.75feb564267c9p-1, -0x1.0245957316dd3p-55},
    {0x1.780694fde5d3fp-1, 0x1.866b80a02162dp-55},  {0x1.7a11473eb0187p-1, -0x1.41577ee04992fp-56},
    {0x1.7c1ed0130c132p-1, 0x1.f124cd1164dd6p-55},  {0x1.7e2f336cf4e62p-1, 0x1.05d02ba15797ep-57},
    {0x1.80427543e1a12p-1, -0x1.27c86626d972bp-55}, {0x1.82589994cce13p-1, -0x1.d4c1dd41532d8p-55},
    {0x1.8471a4623c7adp-1, -0x1.8d684a341cdfbp-56}, {0x1.868d99b4492edp-1, -0x1.fc6f89bd4f6bap-55},
    {0x1.88ac7d98a6699p-1, 0x1.994c2f37cb53ap-55},  {0x1.8ace5422aa0dbp-1, 0x1.6e9f156864b27p-55},
    {0x1.8cf3216b5448cp-1, -0x1.0d55e32e9e3aap-57}, {0x1.8f1ae99157736p-1, 0x1.5cc13a2e3976cp-56},
    {0x1.9145b0b91ffc6p-1, -0x1.dd6792e582524p-55}, {0x1.93737b0cdc5e5p-1, -0x1.75fc781b57ebcp-58},
    {0x1.95a44cbc8520fp-1, -0x1.64b7c96a5f039p-57}, {0x1.97d829fde4e50p-1, -0x1.d185b7c1b85d1p-55},
    {0x1.9a0f170ca07bap-1, -0x1.173bd91cee632p-55}, {0x1.9c49182a3f090p-1, 0x1.c7c46b071f2bep-57},
    {0x1.9e86319e32323p-1, 0x1.824ca78e64c6ep-57},  {0x1.a0c667b5de565p-1, -0x1.359495d1cd533p-55},
    {0x1.a309bec4a2d33p-1, 0x1.6305c7ddc36abp-55},  {0x1.a5503b23e255dp-1, -0x1.d2f6edb8d41e1p-55},
    {0x1.a799e1330b358p-1, 0x1.bcb7ecac563c7p-55},  {0x1.a9e6b5579fdbfp-1, 0x1.0fac90ef7fd31p-55},
    {0x1.ac36bbfd3f37ap-1, -0x1.f9234cae76cd0p-56}, {0x1.ae89f995ad3adp-1, 0x1.7a1cd345dcc81p-55},
    {0x1.b0e07298db666p-1, -0x1.bdef54c80e425p-55}, {0x1.b33a2b84f15fbp-1, -0x1.2805e3084d708p-58},
    {0x1.b59728de5593ap-1, -0x1.c71dfbbba6de3p-55}, {0x1.b7f76f2fb5e47p-1, -0x1.5584f7e54ac3bp-57},
    {0x1.ba5b030a1064ap-1, -0x1.efcd30e54292ep-55}, {0x1.bcc1e904bc1d2p-1, 0x1.23dd07a2d9e84p-56},
    {0x1.bf2c25bd71e09p-1, -0x1.efdca3f6b9c73p-55}, {0x1.c199bdd85529cp-1, 0x1.11065895048ddp-56},
    {0x1.c40ab5fffd07ap-1, 0x1.b4537e083c60ap-55},  {0x1.c67f12e57d14bp-1, 0x1.2884dff483cadp-55},
    {0x1.c8f6d9406e7b5p-1, 0x1.1acbc48805c44p-57},  {0x1.cb720dcef9069p-1, 0x1.503cbd1e949dbp-57},
    {0x1.cdf0b555dc3fap-1, -0x1.dd83b53829d72p-56}, {0x1.d072d4a07897cp-1, -0x1.cbc3743797a9cp-55},
    {0x1.d2f87080d89f2p-1, -0x1.d487b719d8578p-55}, {0x1.d5818dcfba487p-1, 0x1.2ed02d75b3707p-56},
    {0x1.d80e316c98398p-1, -0x1.11ec18beddfe8p-55}, {0x1.da9e603db3285p-1, 0x1.c2300696db532p-55},
    {0x1.dd321f301b460p-1, 0x1.2da5778f018c3p-55},  {0x1.dfc97337b9b5fp-1, -0x1.1a5cd4f184b5cp-55},
    {0x1.e264614f5a129p-1, -0x1.7b627817a1496p-55}, {0x1.e502ee78b3ff6p-1, 0x1.39e8980a9cc8fp-56},
    {0x1.e7a51fbc74c83p-1, 0x1.2d522ca0c8de2p-55},  {0x1.ea4afa2a490dap-1, -0x1.e9c23179c2893p-55},
    {0x1.ecf482d8e67f1p-1, -0x1.c93f3b411ad8cp-55}, {0x1.efa1bee615a27p-1, 0x1.dc7f486a4b6b0p-55},
    {0x1.f252b376bba97p-1, 0x1.3a1a5bf0d8e43p-55},  {0x1.f50765b6e4540p-1, 0x1.9d3e12dd8a18bp-55},
    {0x1.f7bfdad9cbe14p-1, -0x1.dbb12d006350ap-55}, {0x1.fa7c1819e90d8p-1, 0x1.74853f3a5931ep-56},
    {0x1.fd3c22b8f71f1p-1, 0x1.2eb74966579e7p-58},  {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.0163da9fb3335p+0, 0x1.b61299ab8cdb7p-54},  {0x1.02c9a3e778061p+0, -0x1.19083535b085dp-56},
    {0x1.04315e86e7f85p+0, -0x1.0a31c1977c96ep-54}, {0x1.059b0d3158574p+0, 0x1.d73e2a475b465p-55},
    {0x1.0706b29ddf6dep+0, -0x1.c91dfe2b13c27p-55}, {0x1.0874518759bc8p+0, 0x1.186be4bb284ffp-57},
    {0x1.09e3ecac6f383p+0, 0x1.1487818316136p-54},  {0x1.0b5586cf9890fp+0, 0x1.8a62e4adc610bp-54},
    {0x1.0cc922b7247f7p+0, 0x1.01edc16e24f71p-54},  {0x1.0e3ec32d3d1a2p+0, 0x1.03a1727c57b53p-59},
    {0x1.0fb66affed31bp+0, -0x1.b9bedc44ebd7bp-57}, {0x1.11301d0125b51p+0, -0x1.6c51039449b3ap-54},
    {0x1.12abdc06c31ccp+0, -0x1.1b514b36ca5c7p-58}, {0x1.1429aaea92de0p+0, -0x1.32fbf9af1369ep-54},
    {0x1.15a98c8a58e51p+0, 0x1.2406ab9eeab0ap-55},  {0x1.172b83c7d517bp+0, -0x1.19041b9d78a76p-55},
    {0x1.18af9388c8deap+0, -0x1.11023d1970f6cp-54}, {0x1.1a35beb6fcb75p+0, 0x1.e5b4c7b4968e4p-55},
    {0x1.1bbe084045cd4p+0, -0x1.95386352ef607p-54}, {0x1.1d4873168b9aap+0, 0x1.e016e00a2643cp-54},
    {0x1.1ed5022fcd91dp+0, -0x1.1df98027bb78cp-54}, {0x1.2063b88628cd6p+0, 0x1.dc775814a8495p-55},
    {0x1.21f49917ddc96p+0, 0x1.2a97e9494a5eep-55},  {0x1.2387a6e756238p+0, 0x1.9b07eb6c70573p-54},
    {0x1.251ce4fb2a63fp+0, 0x1.ac155bef4f4a4p-55},  {0x1.26b4565e27cddp+0, 0x1.2bd339940e9d9p-55},
    {0x1.284dfe1f56381p+0, -0x1.a4c3a8c3f0d7ep-54}, {0x1.29e9df51fdee1p+0, 0x1.612e8afad1255p-55},
    {0x1.2b87fd0dad990p+0, -0x1.10adcd6381aa4p-59}, {0x1.2d285a6e4030bp+0, 0x1.0024754db41d5p-54},
    {0x1.2ecafa93e2f56p+0, 0x1.1ca0f45d52383p-56},  {0x1.306fe0a31b715p+0, 0x1.6f46ad23182e4p-55},
    {0x1.32170fc4cd831p+0, 0x1.a9ce78e18047cp-55},  {0x1.33c08b26416ffp+0, 0x1.32721843659a6p-54},
    {0x1.356c55f929ff1p+0, -0x1.b5cee5c4e4628p-55}, {0x1.371a7373aa9cbp+0, -0x1.63aeabf42eae2p-54},
    {0x1.38cae6d05d866p+0, -0x1.e958d3c9904bdp-54}, {0x1.3a7db34e59ff7p+0, -0x1.5e436d661f5e3p-56},
    {0x1.3c32dc313a8e5p+0, -0x1.efff8375d29c3p-54}, {0x1.3dea64c123422p+0, 0x1.ada0911f09ebcp-55},
    {0x1.3fa4504ac801cp+0, -0x1.7d023f956f9f3p-54}, {0x1.4160a21f72e2ap+0, -0x1.ef3691c309278p-58},
    {0x1.431f5d950a897p+0, -0x1.1c7dde35f7999p-55}, {0x1.44e086061892dp+0, 0x1.89b7a04ef80d0p-59},
    {0x1.46a41ed1d0057p+0, 0x1.c944bd1648a76p-54},  {0x1.486a2b5c13cd0p+0, 0x1.3c1a3b69062f0p-56},
    {0x1.4a32af0d7d3dep+0, 0x1.9cb62f3d1be56p-54},  {0x1.4bfdad5362a27p+0, 0x1.d4397afec42e2p-56},
    {0x1.4dcb299fddd0dp+0, 0x1.8ecdbbc6a7833p-54},  {0x1.4f9b2769d2ca7p+0, -0x1.4b309d25957e3p-54},
    {0x1.516daa2cf6642p+0, -0x1.f768569bd93efp-55}, {0x1.5342b569d4f82p+0, -0x1.07abe1db13cadp-55},
    {0x1.551a4ca5d920fp+0, -0x1.d689cefede59bp-55}, {0x1.56f4736b527dap+0, 0x1.9bb2c011d93adp-54},
    {0x1.58d12d497c7fdp+0, 0x1.295e15b9a1de8p-55},  {0x1.5ab07dd485429p+0, 0x1.6324c054647adp-54},
    {0x1.5c9268a5946b7p+0, 0x1.c4b1b816986a2p-60},  {0x1.5e76f15ad2148p+0, 0x1.ba6f93080e65ep-54},
    {0x1.605e1b976dc09p+0, -0x1.3e2429b56de47p-54}, {0x1.6247eb03a5585p+0, -0x1.383c17e40b497p-54},
    {0x1.6434634ccc320p+0, -0x1.c483c759d8933p-55}, {0x1.6623882552225p+0, -0x1.bb60987591c34p-54},
    {0x1.68155d44ca973p+0, 0x1.038ae44f73e65p-57},  {0x1.6a09e667f3bcdp+0, -0x1.bdd3413b26456p-54},
    {0x1.6c012750bdabfp+0, -0x1.2895667ff0b0dp-56},
};

// For i = 91..181: 1/c rounded to a double, with c = i/128.
const double LOG_INVERSE[91] = {
    0x1.6816816816817p+0, 0x1.642c8590b2164p+0, 0x1.6058160581606p+0, 0x1.5c9882b931057p+0,
    0x1.58ed2308158edp+0, 0x1.5555555555555p+0, 0x1.51d07eae2f815p+0, 0x1.4e5e0a72f0539p+0,
    0x1.4afd6a052bf5bp+0, 0x1.47ae147ae147bp+0, 0x1.446f86562d9fbp+0, 0x1.4141414141414p+0,
    0x1.3e22cbce4a902p+0, 0x1.3b13b13b13b14p+0, 0x1.3813813813814p+0, 0x1.3521cfb2b78c1p+0,
    0x1.323e34a2b10bfp+0, 0x1.2f684bda12f68p+0, 0x1.2c9fb4d812ca0p+0, 0x1.29e4129e4129ep+0,
    0x1.27350b8812735p+0, 0x1.2492492492492p+0, 0x1.21fb78121fb78p+0, 0x1.1f7047dc11f70p+0,
    0x1.1cf06ada2811dp+0, 0x1.1a7b9611a7b96p+0, 0x1.1811811811812p+0, 0x1.15b1e5f75270dp+0,
    0x1.135c81135c811p+0, 0x1.1111111111111p+0, 0x1.0ecf56be69c90p+0, 0x1.0c9714fbcda3bp+0,
    0x1.0a6810a6810a7p+0, 0x1.0842108421084p+0, 0x1.0624dd2f1a9fcp+0, 0x1.0410410410410p+0,
    0x1.0204081020408p+0, 0x1.0000000000000p+0, 0x1.fc07f01fc07f0p-1, 0x1.f81f81f81f820p-1,
    0x1.f44659e4a4271p-1, 0x1.f07c1f07c1f08p-1, 0x1.ecc07b301ecc0p-1, 0x1.e9131abf0b767p-1,
    0x1.e573ac901e574p-1, 0x1.e1e1e1e1e1e1ep-1, 0x1.de5d6e3f8868ap-1, 0x1.dae6076b981dbp-1,
    0x1.d77b654b82c34p-1, 0x1.d41d41d41d41dp-1, 0x1.d0cb58f6ec074p-1, 0x1.cd85689039b0bp-1,
    0x1.ca4b3055ee191p-1, 0x1.c71c71c71c71cp-1, 0x1.c3f8f01c3f8f0p-1, 0x1.c0e070381c0e0p-1,
    0x1.bdd2b899406f7p-1, 0x1.bacf914c1bad0p-1, 0x1.b7d6c3dda338bp-1, 0x1.b4e81b4e81b4fp-1,
    0x1.b2036406c80d9p-1, 0x1.af286bca1af28p-1, 0x1.ac5701ac5701bp-1, 0x1.a98ef606a63bep-1,
    0x1.a6d01a6d01a6dp-1, 0x1.a41a41a41a41ap-1, 0x1.a16d3f97a4b02p-1, 0x1.9ec8e951033d9p-1,
    0x1.9c2d14ee4a102p-1, 0x1.999999999999ap-1, 0x1.970e4f80cb872p-1, 0x1.948b0fcd6e9e0p-1,
    0x1.920fb49d0e229p-1, 0x1.8f9c18f9c18fap-1, 0x1.8d3018d3018d3p-1, 0x1.8acb90f6bf3aap-1,
    0x1.886e5f0abb04ap-1, 0x1.8618618618618p-1, 0x1.83c977ab2beddp-1, 0x1.8181818181818p-1,
    0x1.7f405fd017f40p-1, 0x1.7d05f417d05f4p-1, 0x1.7ad2208e0ecc3p-1, 0x1.78a4c8178a4c8p-1,
    0x1.767dce434a9b1p-1, 0x1.745d1745d1746p-1, 0x1.724287f46debcp-1, 0x1.702e05c0b8170p-1,
    0x1.6e1f76b4337c7p-1, 0x1.6c16c16c16c17p-1, 0x1.6a13cd1537290p-1,
};

// -ln of each LOG_INVERSE entry, exactly as rounded.
const Double2 LOG_TABLE[91] = {
    {-0x1.5d5bddf595f31p-2, -0x1.d5f75b9a23ae4p-59},
    {-0x1.522ae0738a3d7p-2, -0x1.3840b263acb43p-56},
    {-0x1.4718dc271c41cp-2, -0x1.d8fb4c14c56eep-56},
    {-0x1.3c25277333183p-2, -0x1.152d81af5713ap-56},
    {-0x1.314f1e1d35ce3p-2, -0x1.22966f61a3c23p-56},
    {-0x1.269621134db91p-2, -0x1.e0efadd9db02ap-56},
    {-0x1.1bf99635a6b95p-2, 0x1.e9575c2124912p-56},
    {-0x1.1178e8227e47ap-2, -0x1.b8ce2d07f1cb7p-56},
    {-0x1.07138604d5864p-2, 0x1.24e912b16ec8bp-60},
    {-0x1.f991c6cb3b37ap-3, -0x1.ecca0cdf30143p-58},
    {-0x1.e530effe71013p-3, 0x1.f7627ef82f3f0p-57},
    {-0x1.d1037f2655e7bp-3, 0x1.3f3adb7b71cbcp-58},
    {-0x1.bd087383bd8aap-3, 0x1.1165504ad749ep-59},
    {-0x1.a93ed3c8ad9e5p-3, -0x1.bcafa9de97202p-57},
    {-0x1.95a5adcf70182p-3, -0x1.8a16283fdbd1cp-57},
    {-0x1.823c16551a3c0p-3, -0x1.6dcd318f4187ep-57},
    {-0x1.6f0128b756ab9p-3, 0x1.37967087859b9p-59},
    {-0x1.5bf406b543db0p-3, 0x1.1f5b44c0df7f7p-61},
    {-0x1.4913d8333b563p-3, 0x1.0d5604930f137p-58},
    {-0x1.365fcb0159014p-3, -0x1.bea08d2dca256p-57},
    {-0x1.23d712a49c201p-3, -0x1.51c7e9efae297p-57},
    {-0x1.1178e8227e47ap-3, 0x1.0e63a5f01c693p-58},
    {-0x1.fe89139dbd565p-4, 0x1.ac9f4215f9394p-58},
    {-0x1.da7276384469ep-4, -0x1.401fa71733017p-58},
    {-0x1.b6ac88dad5b1dp-4, 0x1.002bf768e52d0p-58},
    {-0x1.9335e5d594988p-4, 0x1.478a85704ccb7p-58},
    {-0x1.700d30aeac0e8p-4, -0x1.a36a677b4c8b2p-59},
    {-0x1.4d3115d207eacp-4, -0x1.da7d0b1e10b2fp-60},
    {-0x1.2aa04a44717a1p-4, -0x1.aea2c72d05c08p-58},
    {-0x1.08598b59e3a06p-4, 0x1.dd7009902bf32p-58},
    {-0x1.ccb73cdddb2d0p-5, 0x1.e48fb0500efd5p-59},
    {-0x1.894aa149fb34bp-5, 0x1.2ba0b44cfaee5p-59},
    {-0x1.466aed42de3f9p-5, 0x1.9badefe942718p-60},
    {-0x1.0415d89e74440p-5, -0x1.c05cf1d753621p-59},
    {-0x1.8492528c8cac5p-6, 0x1.d192d0619fa68p-60},
    {-0x1.0205658935837p-6, -0x1.27c8e8416e717p-60},
    {-0x1.010157588de69p-7, -0x1.46662d417cecep-62},
    {0x0.0p+0, 0x0.0p+0},
    {0x1.fe02a6b106799p-8, -0x1.e44b7e3711e7fp-67},
    {0x1.fc0a8b0fc03c4p-7, -0x1.83092c5964281p-62},
    {0x1.7b91b07d5b126p-6, -0x1.6d80ab38e9430p-62},
    {0x1.f829b0e7832f8p-6, 0x1.33e3f04f1ef25p-60},
    {0x1.39e87b9febd68p-5, -0x1.5bfa937f551b7p-59},
    {0x1.77458f632dcffp-5, 0x1.8d3ca87b92968p-63},
    {0x1.b42dd711971b9p-5, 0x1.0a34531f67db5p-59},
    {0x1.f0a30c01162a8p-5, 0x1.85f325c5bbacdp-59},
    {0x1.16536eea37ae3p-4, 0x1.2189705cf74cap-58},
    {0x1.341d7961bd1d0p-4, -0x1.3599f227becbbp-58},
    {0x1.51b073f06183cp-4, -0x1.5b61c65e5741ap-58},
    {0x1.6f0d28ae56b4ep-4, -0x1.20db323097324p-59},
    {0x1.8c345d6319b23p-4, -0x1.294d2f5668495p-58},
    {0x1.a926d3a4ad562p-4, -0x1.d7a16eab1e2adp-59},
    {0x1.c5e548f5bc743p-4, 0x1.2eb0bf7c0b0d9p-59},
    {0x1.e27076e2af2eap-4, -0x1.61578001e015ap-60},
    {0x1.fec9131dbeabcp-4, -0x1.5746b9981b36cp-58},
    {0x1.0d77e7cd08e5bp-3, 0x1.9a5dc5e9030adp-57},
    {0x1.1b72ad52f67a2p-3, -0x1.fbe7ee5c69946p-57},
    {0x1.29552f81ff521p-3, 0x1.301771c407dc0p-57},
    {0x1.371fc201e8f75p-3, 0x1.e6cb62af18a02p-62},
    {0x1.44d2b6ccb7d1cp-3, 0x1.7d3d950f87e23p-59},
    {0x1.526e5e3a1b438p-3, -0x1.546ff8a470d3ap-57},
    {0x1.5ff3070a793d6p-3, -0x1.bc60efafc6f6cp-58},
    {0x1.6d60fe719d21bp-3, 0x1.d551d97132e87p-57},
    {0x1.7ab890210d907p-3, -0x1.1072534a57e7dp-57},
    {0x1.87fa06520c911p-3, -0x1.9f7fdbfa08d9ap-57},
    {0x1.9525a9cf456b6p-3, -0x1.26fb3e2b1d1dap-57},
    {0x1.a23bc1fe2b561p-3, 0x1.24dc46c1ea664p-57},
    {0x1.af3c94e80bff3p-3, 0x1.a3398064df33ep-57},
    {0x1.bc286742d8cd4p-3, 0x1.cfce744870f57p-58},
    {0x1.c8ff7c79a9a20p-3, -0x1.4f689f8434011p-57},
    {0x1.d5c216b4fbb94p-3, -0x1.a37794d03657dp-58},
    {0x1.e27076e2af2e8p-3, -0x1.61578001e015ep-59},
    {0x1.ef0adcbdc5935p-3, 0x1.e8637950dc20dp-57},
    {0x1.fb9186d5e3e29p-3, 0x1.355519b0de535p-57},
    {0x1.0402594b4d041p-2, -0x1.08ec217a5022dp-57},
    {0x1.0a324e27390e2p-2, 0x1.bdcfde8061c03p-56},
    {0x1.1058bf9ae4ad4p-2, 0x1.3f415699663ecp-63},
    {0x1.1675cababa60fp-2, 0x1.ce63eab883727p-61},
    {0x1.1c898c16999fbp-2, 0x1.9f1a39d500e3cp-56},
    {0x1.22941fbcf7966p-2, -0x1.dbd7ac258a2bdp-58},
    {0x1.2895a13de86a4p-2, 0x1.7ad24c13f040fp-56},
    {0x1.2e8e2bae11d31p-2, -0x1.1e99b72bd7bf2p-57},
    {0x1.347dd9a987d56p-2, -0x1.16ea62c048cfbp-56},
    {0x1.3a64c556945eap-2, 0x1.cbcd735d03424p-60},
    {0x1.404308686a7e4p-2, -0x1.f79f6c1059cdbp-57},
    {0x1.4618bc21c5ec2p-2, -0x1.7a42642661c62p-61},
    {0x1.4be5f957778a1p-2, -0x1.4b366b609027ap-58},
    {0x1.51aad872df82ep-2, -0x1.d8db0a7cc1543p-56},
    {0x1.5767717455a6cp-2, -0x1.fb2a49af933e8p-57},
    {0x1.5d1bdbf5809cap-2, -0x1.7dc9c7c23801fp-56},
    {0x1.62c82f2b9c796p-2, -0x1.090a0dd59fe35p-58},
};

// ln 2 split so that k * LN2_HEAD is exact for |k| < 2^11.
const double LN2_HEAD = 0x1.62e42fefa3800p-1;
const double LN2_TAIL = 0x1.ef35793c76730p-45;
// ln 2 / 128 split so that j * STEP_HEAD is exact for |j| < 2^9.
const double STEP_HEAD = 0x1.62e42fefa3a00p-8;
const double STEP_TAIL = -0x1.0ca86c3898d00p-56;

// m 2^k, as std::ldexp gives it, without the call where the result is
// surely normal (m is near 1).
double ScaleNearOne(double m, int k) {
    if (k < -1020 || k > 1020) return std::ldexp(m, k);
    const uint64_t bits = static_cast<uint64_t>(k + 1023) << 52;
    double power;
    std::memcpy(&power, &bits, sizeof power);
    return m * power;
}

// m and e as std::frexp gives them for finite x > 0.
double Fraction(double x, int *e) {
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const int biased = static_cast<int>(bits >> 52);
    if (biased == 0) return std::frexp(x, e);  // subnormal
    *e = biased - 1022;
    bits = (bits & 0x000fffffffffffffull) | 0x3fe0000000000000ull;
    double m;
    std::memcpy(&m, &bits, sizeof m);
    return m;
}

// e^x for finite x in [-746, 710], or 0 if the quick path cannot be sure.
double QuickExp(double x) {
    // The same k as ExpParts, so that results below the normal range are
    // rounded twice in the same way (to 53 bits, then by the scaling).
    const double k = std::floor(x / LN2_DD.hi + 0.5);
    // r = x - k ln 2 as rh + rl; x - k LN2_HEAD is exact (Sterbenz).
    const double a = x - k * LN2_HEAD, b = k * LN2_TAIL;
    const double rh = a - b, rl = (a - rh) - b;
    // r = j ln2/128 + u + v, |u| <= ln2/256 + tiny, u exact.
    const double j = RoundToInteger(rh * 0x1.71547652b82fep+7);
    const double u = rh - j * STEP_HEAD;
    const double v = rl - j * STEP_TAIL;
    // e^(u + v) - 1 = u + q + v (1 + u) to 2^-70.
    const double q =
        u * u *
        (0.5 + u * (1.0 / 6 + u * (1.0 / 24 + u * (1.0 / 120 + u * (1.0 / 720 + u / 5040)))));
    const double pt = q + v + v * u;
    const Double2 t = EXP2_TABLE[static_cast<int>(j) + 65];
    const Double2 tu = TwoProduct(t.hi, u);
    const Double2 s = FastTwoSum(t.hi, tu.hi);
    const double lo = s.lo + (tu.lo + t.hi * pt + t.lo + t.lo * u);
    const Double2 y = FastTwoSum(s.hi, lo);
    if (!RoundingIsCertain(y.hi, y.lo)) return 0.0;
    return ScaleNearOne(y.hi, static_cast<int>(k));
}

// ln(m 2^e) for m in [sqrt(1/2), sqrt(2)) away from 1 when e is 0, or 0 if
// the quick path cannot be sure.
double QuickLog(double m, int e) {
    // m = c (1 + z) with c = i/128 near m, 1/c rounded to a double, so
    // z = m/c - 1 exactly as zh + zl and |z| < 2^-7.5.
    const int i = static_cast<int>(m * 128.0 + 0.5);
    const double inverse = LOG_INVERSE[i - 91];
    const Double2 p = TwoProduct(m, inverse);
    const double zh = p.hi - 1.0, zl = p.lo;
    // ln(1 + z) = zh - zh^2/2 + zh^3 Q(zh) + zl/(1 + zh), to 2^-76 |z|.
    const Double2 z2 = TwoProduct(zh, zh);
    const double poly =
        1.0 / 3 +
        zh * (-0.25 +
              zh * (0.2 + zh * (-1.0 / 6 + zh * (1.0 / 7 + zh * (-0.125 + zh * (1.0 / 9))))));
    const Double2 main = FastTwoSum(zh, -0.5 * z2.hi);
    const double tail = main.lo - 0.5 * z2.lo + zh * z2.hi * poly + zl * (1.0 - zh + z2.hi);
    // ln x = e ln 2 + ln(1/inverse) + ln(1 + z).
    const double ed = static_cast<double>(e);
    const Double2 c = LOG_TABLE[i - 91];
    const Double2 s1 = TwoSum(ed * LN2_HEAD, c.hi);
    const Double2 s2 = TwoSum(s1.hi, main.hi);
    const double lo = s1.lo + s2.lo + (tail + c.lo + ed * LN2_TAIL);
    const Double2 y = TwoSum(s2.hi, lo);
    if (!RoundingIsCertain(y.hi, y.lo)) return 0.0;
    return y.hi;
}

}  // namespace

double Exp(double x) {
    if (std::isnan(x)) return x;
    if (x > 710.0) return std::numeric_limits<double>::infinity();
    if (x < -746.0) return 0.0;
    const double quick = QuickExp(x);
    return quick != 0.0 ? quick : AccurateExp(x);
}

double Log(double x) {
    if (std::isnan(x)) return x;
    if (x < 0.0) return -std::numeric_limits<double>::quiet_NaN();
    if (x == 0.0) return -std::numeric_limits<double>::infinity();
    if (std::isinf(x)) return x;

    // x = m 2^e with m in [sqrt(1/2), sqrt(2)).
    int e;
    double m = Fraction(x, &e);
    if (m < 0.70710678118654752) {
        m *= 2.0;
        --e;
    }
    // Close to 1 the accurate path's own error, some 2^-105 absolute, is
    // no longer small beside the result: leave those to it alone.
    if (e == 0 && std::fabs(m - 1.0) < 0x1p-30) return AccurateLog(m, e);
    const double quick = QuickLog(m, e);
    return quick != 0.0 ? quick : AccurateLog(m, e);
}

}  // namespace mt
