// The extension frame shared by every vellary module, one mechanism per
// header.  This header includes the core; modules include the others they
// use.
//
//   ref.h              the owner of a strong reference
//   errors.h           Python errors through C++, the exception boundary, tracebacks
//   names.h            interned names, module-level look-up, builtins, internal frames
//   namespace.h        the module dict's version, kept by a dict watcher
//   constants.h        the constants a module makes at exec
//   function.h         function records, argument slots, function objects, calls
//   function_code.h    the code object a function object carries
//   convert.h          typed conversions, unpacking, len(), complex(*p), new lists and tuples
//   objects.h          attributes, methods, comparisons (==, <, ...), next(), indexing, slicing
//   raising.h          raise and try/except
//   text.h             str read in place by code point, character sets, small str values
//   sequences.h        snapshots of the caller's sequences, live list walks, list builders
//   lists.h            lists of a size the caller gives
//   module.h           module initialisation, the module body, classes, named tuples
//   generator.h        generator bodies (C++20 coroutines)
//   interrupts.h       signal polling in long native loops
//   num.h              numbers with Python semantics (Num)
//   globals.h          module-level names (numbers, functions, module.attr) read through a memo
//   expr.h             formulas with Python semantics
//   math_calls.h       math functions and round() inside formulas
//   callee.h           calls of module-level names run directly while they hold our own code
//   plain.h            the same formulas on machine values, and the choice between the two
//   complex.h          complex numbers of typed `double complex` parameters
//   z.h                points as complex doubles for the conversion cores
//   cubic_tolerance.h  the tolerance test of a difference curve
//   unstable.h         every use of private or unstable interpreter API
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
