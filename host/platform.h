// Basic types and linkage of the host interface. On Windows they come from <windows.h>;
// elsewhere this file declares the few the module needs, with the same names and widths.
#pragma once

#include <cstdint>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX  // keeps std::min, std::max and numeric_limits<>::max() usable
#endif
#include <windows.h>
#else
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int BOOL;
typedef int32_t LONG;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef void* HINSTANCE;
#endif

// Symbols the host provides to the module (functions, the VESSEL and MFD classes), and the
// callbacks the module exports to the host, undecorated. The simulator's SDK defines both.
#ifndef KESTRANE_SIMULATOR_SDK_BUILD
#define OAPIFUNC __attribute__((visibility("default")))
#define DLLCLBK extern "C" __attribute__((visibility("default")))
#endif
