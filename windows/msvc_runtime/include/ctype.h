// What libc++'s Windows locale support names from <ctype.h> and Wine's header leaves out; the
// runtime exports both.
#pragma once
#include_next <ctype.h>

#ifdef __cplusplus
extern "C" {
#endif
_ACRTIMP int __cdecl _islower_l(int, _locale_t);
_ACRTIMP int __cdecl _isupper_l(int, _locale_t);
#ifdef __cplusplus
}
#endif
