#include "covstruct/structure.h"

#include <array>

#include "covstruct/families.h"
#include "covstruct/types.h"

namespace mixed::covstruct {

const CovarianceStructure* structure(CovType cov_type) {
  static constexpr auto by_type = [] {
    std::array<const CovarianceStructure*, static_cast<std::size_t>(VC_REPEATED) + 1> t{};
    auto at = [&t](CovType type) -> const CovarianceStructure*& { return t[static_cast<std::size_t>(type)]; };
    at(ARMA11) = &arma11_structure;
    at(AD1) = &ad1_structure;
    at(AR1) = &ar1_structure;
    at(ARH1) = &arh1_structure;
    at(CS) = &cs_structure;
    at(CSH) = &csh_structure;
    at(CSR) = &csr_structure;
    at(DIAG) = &diag_structure;
    at(FA1) = &fa1_structure;
    at(FAH1) = &fah1_structure;
    at(HF) = &hf_structure;
    at(ID) = &id_structure;
    at(TP) = &tp_structure;
    at(TPH) = &tph_structure;
    at(UN) = &un_structure;
    at(UNR) = &unr_structure;
    at(VC) = &vc_structure;
    at(VC_REPEATED) = &diag_structure;  // one variance per level, like DIAG
    return t;
  }();
  const int code = static_cast<int>(cov_type);
  if (code < 0 || code >= static_cast<int>(by_type.size())) return nullptr;
  return by_type[static_cast<std::size_t>(code)];
}

}  // namespace mixed::covstruct
