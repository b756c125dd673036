// Objects the module's code uses as constants.  Each is made once at exec and
// held by the module state's registry for the life of the process, so calls
// allocate no constants; where the interpreter allows it they are marked
// long-lived (unstable::share_long_lived), so threads reading them do not
// contend for their reference counts.
#pragma once

#include "ref.h"

namespace vy {

class Constant {
public:
    using Maker = Ref (*)();
    explicit Constant(Maker make);
    PyObject* get() const noexcept { return obj_; }

private:
    friend struct ModuleState;
    Maker make_;
    PyObject* obj_ = nullptr;
};

}  // namespace vy
