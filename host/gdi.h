// The subset of Windows GDI the display draws with. On Windows <windows.h> declares it; for
// other builds the host (here: the emulator) provides these functions with GDI's semantics.
#pragma once

#include "host/platform.h"

#ifndef _WIN32
struct HDC__;  // defined by whoever implements the surface
struct HBRUSH__;
typedef HDC__* HDC;
typedef HBRUSH__* HBRUSH;
typedef void* HGDIOBJ;
typedef uint32_t COLORREF;

struct POINT {
    LONG x;
    LONG y;
};
typedef POINT* LPPOINT;

#define TRANSPARENT 1
#define OPAQUE 2
#define TA_UPDATECP 1

extern "C" {
OAPIFUNC UINT SetTextAlign(HDC hdc, UINT align);
OAPIFUNC BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT old);
OAPIFUNC int SetBkMode(HDC hdc, int mode);
OAPIFUNC COLORREF SetBkColor(HDC hdc, COLORREF colour);
OAPIFUNC COLORREF SetTextColor(HDC hdc, COLORREF colour);
OAPIFUNC BOOL TextOutA(HDC hdc, int x, int y, const char* text, int length);
OAPIFUNC HBRUSH CreateSolidBrush(COLORREF colour);
OAPIFUNC HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
OAPIFUNC BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
OAPIFUNC BOOL DeleteObject(HGDIOBJ object);
OAPIFUNC int lstrlenA(const char* text);
}
#endif
