// Sine, cosine and arc tangents for the substitute host's scene, computed
// from additions, multiplications and divisions only, so that the host
// evaluates a scene to the same bits on every target (the C libraries of
// x86-64, i386 and Windows differ in the last bit for some arguments). Within
// a few units in the last place of the true values; NaN in, NaN out.
#pragma once

namespace subhost {

double portable_sin(double x);
double portable_cos(double x);
double portable_atan(double x);
double portable_atan2(double y, double x);

} // namespace subhost
