#include "interrupts.h"

namespace vy {

void check_signals() {
    if (PyErr_CheckSignals() < 0) raise();
}

}  // namespace vy
