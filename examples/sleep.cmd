* Reaction times over ten days of sleep deprivation, 18 subjects.
* A random intercept and slope for each subject with an unstructured
* covariance, fitted by REML.
MIXED Reaction WITH Days
  /FIXED=Days
  /RANDOM=INTERCEPT Days | SUBJECT(Subject) COVTYPE(UN)
  /METHOD=REML
  /PRINT=SOLUTION TESTCOV G HISTORY.
