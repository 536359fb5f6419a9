// The host calls of the call record and the GDI calls of a surface's log are each listed once,
// as an X-macro that makes both the enum (with KESTRANE_ENUMERATOR) and its names (with
// KESTRANE_NAME), so that a name cannot go missing or stand at another call's place.
#pragma once

#define KESTRANE_ENUMERATOR(name) name,
#define KESTRANE_NAME(name) #name,
