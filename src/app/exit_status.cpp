#include "app/exit_status.h"

#include <iostream>

namespace mixed::app {

int file_problem(const std::string& what) {
  std::cerr << "mixed: " << what << "\n";
  return kExitFileProblem;
}

}  // namespace mixed::app
