#include "covstruct/catalogue.h"
#include "covstruct/types.h"

namespace mixed::covstruct {

bool is_block_type(CovType cov_type) { return structure(cov_type) != nullptr; }

int parameter_count(int n, CovType cov_type) {
  const CovarianceStructure* s = structure(cov_type);
  return s != nullptr ? s->parameter_count(n) : 0;
}

ParamKind parameter_kind(int npar, CovType cov_type, int k) {
  const CovarianceStructure* s = structure(cov_type);
  return s != nullptr ? s->parameter_kind(npar, k) : Unrestricted;
}

host::Text structure_name(CovType cov_type) {
  const CovarianceStructure* s = structure(cov_type);
  return s != nullptr ? host::Text::key(s->name) : host::Text{};
}

}  // namespace mixed::covstruct
