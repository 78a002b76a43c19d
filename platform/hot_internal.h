// platform/hot_internal.h: KORVO_HOT marks the functions that every row
// of a scan runs through. The compiler gathers them into one region of
// the library's code (.text.hot), so that the per-row path keeps to few
// instruction-cache lines wherever the rest of the code moves as it
// changes. Not installed.
#pragma once

#define KORVO_HOT __attribute__((hot))
