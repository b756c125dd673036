// The code object of a function object: what inspect.signature, help() and
// IDEs read from it (argument counts, parameter and local names, flags,
// name, file, first line).  The body is native, so its bytecode only raises
// an error naming the function when something executes it.
#pragma once

#include "frame.h"

namespace vy {

// `varnames`: the parameters in order, then the `*` parameter, then the
// locals; `flags`: CO_VARARGS and CO_GENERATOR as the function needs.
Ref function_code(const FunctionDef& def, PyObject* filename, PyObject* varnames, int flags);

}  // namespace vy
