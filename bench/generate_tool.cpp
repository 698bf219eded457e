// Writes a synthetic data set and its MIXED command for the benchmarks:
//
//   generate_tool KIND ROWS OUT      writes OUT.csv and OUT.sps
//
// KIND is one of
//   ri       random intercept: y = 1 + 0.5 x + u_i + e, 20 records per subject
//   slope    random intercept and slope with COVTYPE(UN), 20 records per subject
//   ar1      REPEATED AR1 over 10 occasions within subjects
//   crossed  two crossed random factors (100 and 50 levels), no subjects
// The data are reproducible (fixed seed).

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: generate_tool ri|slope|ar1|crossed ROWS OUT\n");
    return 2;
  }
  const std::string kind = argv[1];
  const long rows = std::atol(argv[2]);
  const std::string out = argv[3];
  std::mt19937_64 rng(20261206);
  std::normal_distribution<double> z(0.0, 1.0);
  std::FILE* csv = std::fopen((out + ".csv").c_str(), "w");
  std::FILE* cmd = std::fopen((out + ".sps").c_str(), "w");
  if (csv == nullptr || cmd == nullptr || rows <= 0) {
    std::fprintf(stderr, "generate_tool: cannot write %s.csv / %s.sps\n", out.c_str(), out.c_str());
    return 2;
  }
  if (kind == "ri" || kind == "slope") {
    std::fprintf(csv, "id,x,t,y\n");
    const long per = 20;
    double u0 = 0, u1 = 0;
    for (long r = 0; r < rows; ++r) {
      const long id = r / per + 1;
      if (r % per == 0) {
        u0 = 2.0 * z(rng);
        u1 = 0.5 * z(rng);
      }
      const double t = static_cast<double>(r % per);
      const double x = z(rng);
      const double y = kind == "ri" ? 1.0 + 0.5 * x + u0 + z(rng) : 1.0 + 0.3 * t + u0 + u1 * t + z(rng);
      std::fprintf(csv, "%ld,%.6f,%.0f,%.6f\n", id, x, t, y);
    }
    if (kind == "ri")
      std::fprintf(cmd, "MIXED y WITH x /FIXED=x /RANDOM=INTERCEPT | SUBJECT(id) /METHOD=REML.\n");
    else
      std::fprintf(cmd, "MIXED y WITH t /FIXED=t /RANDOM=INTERCEPT t | SUBJECT(id) COVTYPE(UN) /METHOD=REML.\n");
  } else if (kind == "ar1") {
    std::fprintf(csv, "id,t,x,y\n");
    const long per = 10;
    double e = 0;
    for (long r = 0; r < rows; ++r) {
      const long id = r / per + 1;
      const long t = r % per + 1;
      e = t == 1 ? z(rng) : 0.6 * e + std::sqrt(1 - 0.36) * z(rng);
      const double x = z(rng);
      std::fprintf(csv, "%ld,%ld,%.6f,%.6f\n", id, t, x, 2.0 + 0.5 * x + 1.5 * e);
    }
    std::fprintf(cmd, "MIXED y WITH x /FIXED=x /REPEATED=t | SUBJECT(id) COVTYPE(AR1) /METHOD=REML.\n");
  } else if (kind == "crossed") {
    std::fprintf(csv, "f1,f2,y\n");
    double a[100], b[50];
    for (double& v : a) v = z(rng);
    for (double& v : b) v = 0.5 * z(rng);
    for (long r = 0; r < rows; ++r) {
      const int i = static_cast<int>(rng() % 100), j = static_cast<int>(rng() % 50);
      std::fprintf(csv, "%d,%d,%.6f\n", i + 1, j + 1, 3.0 + a[i] + b[j] + z(rng));
    }
    std::fprintf(cmd, "MIXED y BY f1 f2 /RANDOM=f1 f2 /METHOD=REML.\n");
  } else {
    std::fprintf(stderr, "generate_tool: unknown kind %s\n", kind.c_str());
    return 2;
  }
  std::fclose(csv);
  std::fclose(cmd);
  return 0;
}
