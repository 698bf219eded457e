// The catalogue of covariance structures: for each type code (cov_type 1..19,
// covstruct::CovType) the number of parameters of a block of dimension n, the
// kind of each parameter and the structure's display name, as its descriptor
// (covstruct/structure.h) gives them.
//
// Parameters are indexed 0-based in stored order throughout this folder: k = 0
// is the first parameter of the block's run.  Code 17 (VC as parsed) is never a
// block's type; it and any code outside 1..19 have no parameters, kind 3 for
// every k, and no name.  An out-of-range code is a programming error that the
// caller's assertion reports; these functions answer with the fallback.
#pragma once

#include "covstruct/structure.h"
#include "covstruct/types.h"
#include "host/text.h"

namespace mixed::covstruct {

// True for the type codes a covariance block can carry (1..16, 18, 19).
bool is_block_type(CovType cov_type);

// parameter_count: the number of parameters of a block of dimension n.
int parameter_count(int n, CovType cov_type);

// parameter_kind: the kind of parameter k (0-based) of a block with npar parameters;
// npar bounds the search for the diagonal places of UN and UNR.
ParamKind parameter_kind(int npar, CovType cov_type, int k);

// structure_name: the display name of the structure; an empty Text for code 17 and
// codes outside 1..19.
host::Text structure_name(CovType cov_type);

}  // namespace mixed::covstruct
