#pragma once

#include <cmath>

// Pieces shared by the curve display and the curve icon. Each draws its own
// curve formulas; what they share is how those formulas are evaluated.
namespace marnovex::curve_maths
{
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kPi = 3.141592653589793;
constexpr double kE = 2.718281828459045;
constexpr float kSlideOffset = 3.1137056f; // 4.5 - ln 4: 0.85 tanh (6 x 0.75 - offset) = 0.75

// Arguments of the trigonometric functions are formed in double and rounded
// to float, as the engine does, so the pictures bend exactly where the sound does.
inline float scaledSin (float x, double factor) noexcept { return std::sin ((float) ((double) x * factor)); }
inline float scaledCos (float x, double factor) noexcept { return std::cos ((float) ((double) x * factor)); }
inline float scaledTanh (float x, double factor) noexcept { return std::tanh ((float) ((double) x * factor)); }

// The Warp curve's blend weight: 0 outside the middle, a cosine ramp from
// 0.3 to 0.4 and back from 0.6 to 0.7, 1 in between.
inline float warpWeight (float e) noexcept
{
    if (e > 0.3f && e <= 0.4f)
        return 10.0f * e - 3.0f;
    if (e > 0.4f && e <= 0.6f)
        return 1.0f;
    if (e > 0.6f && e <= 0.7f)
        return 7.0f - 10.0f * e;
    return 0.0f;
}
} // namespace marnovex::curve_maths
