// The operations of ksvapi.h declared as the including library's only
// visible symbols (on Windows its .def file says which it exports). Included
// once, by the source that defines them.
#pragma once

#ifdef __GNUC__
#pragma GCC visibility push(default)
#endif
#define KSV_API_DECLARE_FUNCTIONS
#include "ksvapi.h"
#ifdef __GNUC__
#pragma GCC visibility pop
#endif
