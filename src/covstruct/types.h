// The covariance structures a block can carry.  The COVTYPE keyword table
// gives 1..17; VC is stored as VC on RANDOM (one variance per effect) and as
// VC_REPEATED on REPEATED (one variance per level, like DIAG); VC_PARSE, the
// keyword as read, is never a block's type.
#pragma once

#include "covstruct/types.h"

namespace mixed::covstruct {

// The values are the positions in the COVTYPE keyword table (1-based); a value
// outside it (0 included) names no structure.
enum class CovType : int {
  ARMA11 = 1,
  AD1 = 2,
  AR1 = 3,
  ARH1 = 4,
  CS = 5,
  CSH = 6,
  CSR = 7,
  DIAG = 8,
  FA1 = 9,
  FAH1 = 10,
  HF = 11,
  ID = 12,
  TP = 13,
  TPH = 14,
  UN = 15,
  UNR = 16,
  VC_PARSE = 17,
  VC = 18,
  VC_REPEATED = 19,
};
using enum CovType;  // covstruct::AR1 names CovType::AR1

}  // namespace mixed::covstruct
