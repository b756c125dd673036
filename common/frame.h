// The extension frame shared by every vellary module, one mechanism per
// header:
//
//   ref.h         the owner of a strong reference
//   errors.h      Python errors through C++, the exception boundary, tracebacks
//   names.h       interned names, module-level look-up, builtins, internal frames
//   constants.h   the constants a module makes at exec
//   function.h    function records, argument slots, function objects, calls
//   convert.h     typed conversions, unpacking, len(), complex(*p)
//   objects.h     attributes, methods, ==, next(), indexing, slicing
//   raising.h     raise and try/except
//   sequences.h   snapshots of the caller's sequences, list builders
//   module.h      module initialisation, the module body, classes
//   unstable.h    every use of private or unstable interpreter API
//   generator.h   generator bodies (C++20 coroutines)
//
// Each module is its own shared library with this frame linked in statically
// and all symbols hidden, so the frame's process-wide state (the module
// object, its namespace, the interned names) exists once per module.
#pragma once

#include "constants.h"
#include "convert.h"
#include "errors.h"
#include "function.h"
#include "module.h"
#include "names.h"
#include "objects.h"
#include "raising.h"
#include "ref.h"
#include "sequences.h"
