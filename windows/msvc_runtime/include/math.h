// Wine's <math.h> has none of the long-double functions libc++'s <cmath> names. In the MSVC
// ABI long double is double, so each one is its double function.
#pragma once
#include_next <math.h>

#ifdef __cplusplus
// The runtime has these; Wine's header does not declare them.
extern "C" _ACRTIMP double __cdecl erfc(double);
extern "C" _ACRTIMP float __cdecl erfcf(float);
extern "C" _ACRTIMP double __cdecl nexttoward(double, long double);
extern "C" _ACRTIMP float __cdecl nexttowardf(float, long double);

static_assert(sizeof(long double) == sizeof(double), "the MSVC ABI's long double is double");
#define KESTRANE_LONG_DOUBLE_1(name) \
    static inline long double name##l(long double x) { return name((double)x); }
#define KESTRANE_LONG_DOUBLE_2(name) \
    static inline long double name##l(long double x, long double y) { return name((double)x, (double)y); }
// The list is laid out by hand: without semicolons, a formatter reads it as one statement.
// clang-format off
KESTRANE_LONG_DOUBLE_1(acos) KESTRANE_LONG_DOUBLE_1(asin) KESTRANE_LONG_DOUBLE_1(atan)
KESTRANE_LONG_DOUBLE_1(acosh) KESTRANE_LONG_DOUBLE_1(asinh) KESTRANE_LONG_DOUBLE_1(atanh)
KESTRANE_LONG_DOUBLE_1(cbrt) KESTRANE_LONG_DOUBLE_1(ceil) KESTRANE_LONG_DOUBLE_1(cos)
KESTRANE_LONG_DOUBLE_1(cosh) KESTRANE_LONG_DOUBLE_1(erf) KESTRANE_LONG_DOUBLE_1(erfc)
KESTRANE_LONG_DOUBLE_1(exp) KESTRANE_LONG_DOUBLE_1(exp2) KESTRANE_LONG_DOUBLE_1(expm1)
KESTRANE_LONG_DOUBLE_1(fabs) KESTRANE_LONG_DOUBLE_1(floor) KESTRANE_LONG_DOUBLE_1(lgamma)
KESTRANE_LONG_DOUBLE_1(log) KESTRANE_LONG_DOUBLE_1(log10) KESTRANE_LONG_DOUBLE_1(log1p)
KESTRANE_LONG_DOUBLE_1(log2) KESTRANE_LONG_DOUBLE_1(logb) KESTRANE_LONG_DOUBLE_1(nearbyint)
KESTRANE_LONG_DOUBLE_1(sin) KESTRANE_LONG_DOUBLE_1(sinh) KESTRANE_LONG_DOUBLE_1(sqrt)
KESTRANE_LONG_DOUBLE_1(tan) KESTRANE_LONG_DOUBLE_1(tanh) KESTRANE_LONG_DOUBLE_1(tgamma)
KESTRANE_LONG_DOUBLE_2(atan2) KESTRANE_LONG_DOUBLE_2(fdim) KESTRANE_LONG_DOUBLE_2(fmax)
KESTRANE_LONG_DOUBLE_2(fmin) KESTRANE_LONG_DOUBLE_2(fmod) KESTRANE_LONG_DOUBLE_2(hypot)
KESTRANE_LONG_DOUBLE_2(nextafter) KESTRANE_LONG_DOUBLE_2(nexttoward) KESTRANE_LONG_DOUBLE_2(pow)
KESTRANE_LONG_DOUBLE_2(remainder)
#undef KESTRANE_LONG_DOUBLE_1
#undef KESTRANE_LONG_DOUBLE_2
static inline int ilogbl(long double x) { return ilogb((double)x); }
static inline long double frexpl(long double x, int* e) { return frexp((double)x, e); }
static inline long double ldexpl(long double x, int e) { return ldexp((double)x, e); }
static inline long double modfl(long double x, long double* i) {
    double whole;
    double fraction = modf((double)x, &whole);
    *i = whole;
    return fraction;
}
static inline long double remquol(long double x, long double y, int* q) { return remquo((double)x, (double)y, q); }
static inline long double scalbnl(long double x, int e) { return scalbn((double)x, e); }
static inline long double scalblnl(long double x, long e) { return scalbln((double)x, e); }
#endif
