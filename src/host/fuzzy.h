// Whole numbers within a fuzz, truncation, and the decimals a value needs.
//
// A value is "fuzzily" whole when it lies within 1e-8 * max(1, |x|) of a whole
// number: far coarser than the rounding of double arithmetic, so that degrees
// of freedom and case weights that went through a few operations are still
// recognised, yet fine enough that 11.99 is not 12.  Being relative, the fuzz
// exceeds 1/2 above 5e7, where every value counts as whole: rounding it then
// moves it by less than 1e-8 of itself.  SYSMIS and infinities are never whole.
#pragma once

namespace mixed::host {

// is_fuzzy_whole: |x - round(x)| <= 1e-8 max(1, |x|).
bool is_fuzzy_whole(double x);

// fuzzy_round: round(x) when is_fuzzy_whole(x), else x.
double fuzzy_round(double x);

// truncate_toward_zero: x truncated toward zero.
double truncate_toward_zero(double x);

// decimals_needed: the least d in 0..16 for which x 10^d is whole up to the
// rounding of its decimal representation (1e-6 -> 6, 0.00015 -> 5, 1 -> 0);
// 16 when there is none; 0 for SYSMIS and infinities.
int decimals_needed(double x);

}  // namespace mixed::host
