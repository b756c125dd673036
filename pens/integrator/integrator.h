// Shared declarations of the integrator module: the segment closed forms and
// the names the pen's methods use.
#pragma once

#include "frame.h"

namespace integrator {

// One segment's contributions to the six totals, in the order they are added.
struct Moments {
    double area, momentX, momentY, momentXX, momentXY, momentYY;
};

// The closed forms, from the current point (x0, y0) through the control
// points to the end point.
Moments line(double x0, double y0, double x1, double y1);
Moments quadratic(double x0, double y0, double x1, double y1, double x2, double y2);
Moments cubic(double x0, double y0, double x1, double y1, double x2, double y2, double x3, double y3);

// Function records, one per method, in source order.
extern vy::FunctionDef init_def, moveTo_def, closePath_def, endPath_def, lineTo_def, qCurveToOne_def,
    curveToOne_def;

}  // namespace integrator
