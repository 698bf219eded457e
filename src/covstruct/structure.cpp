#include "covstruct/structure.h"

#include <array>

#include "covstruct/families.h"
#include "covstruct/types.h"

namespace mixed::covstruct {

const CovarianceStructure* structure(int cov_type) {
  static constexpr auto by_type = [] {
    std::array<const CovarianceStructure*, VC_REPEATED + 1> t{};
    t[ARMA11] = &arma11_structure;
    t[AD1] = &ad1_structure;
    t[AR1] = &ar1_structure;
    t[ARH1] = &arh1_structure;
    t[CS] = &cs_structure;
    t[CSH] = &csh_structure;
    t[CSR] = &csr_structure;
    t[DIAG] = &diag_structure;
    t[FA1] = &fa1_structure;
    t[FAH1] = &fah1_structure;
    t[HF] = &hf_structure;
    t[ID] = &id_structure;
    t[TP] = &tp_structure;
    t[TPH] = &tph_structure;
    t[UN] = &un_structure;
    t[UNR] = &unr_structure;
    t[VC] = &vc_structure;
    t[VC_REPEATED] = &diag_structure;  // one variance per level, like DIAG
    return t;
  }();
  if (cov_type < 0 || cov_type >= static_cast<int>(by_type.size())) return nullptr;
  return by_type[static_cast<std::size_t>(cov_type)];
}

}  // namespace mixed::covstruct
