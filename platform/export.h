// platform/export.h: the one export macro of libkorvo.so.
//
// Symbols are hidden by default; everything a host may call is marked
// KORVO_API. The same annotation is used while building the library and
// when a host includes the installed headers.
#pragma once

#define KORVO_API __attribute__((visibility("default")))
