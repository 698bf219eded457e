// RANDOM and REPEATED: the random-effect blocks and the residual structure.
//
// Each non-empty RANDOM subcommand is kept as written in
// Command::random_subcommands (its effects, subject variables and cov_type).
// Its effects are then laid out per random effect, in subcommand order: the
// random EffectTable (random), each effect's subject count and list, cov_type,
// 0-based covariance block and subcommand.  A RANDOM with cov_type VC (18, also
// the default) gives each of its effects a block of its own; any other type
// one block for all of them.  subject_vars is the union of the subject
// variables with the n_common_subjects common to every random effect first.
//
// cov_type codes: the place of the COVTYPE keyword in ARMA11 AD1 AR1 ARH1 CS CSH
// CSR DIAG FA1 FAH1 HF ID TP TPH UN UNR VC (1..17); VC is 18 on RANDOM and 19
// on REPEATED, whose default is DIAG (8).  Without REPEATED the residual is ID
// (12).
#pragma once

#include "host/engine.h"
#include "host/tokens.h"
#include "model/command.h"

namespace mixed::syntax {

// parse_random: the RANDOM pre-scan over the whole command from the current token.
// Empty RANDOM subcommands warn 7 and are ignored.  Sets random_subcommands,
// random, rnd_*, n_random_blocks, random_kind (4 without random effects), subject_vars and
// n_common_subjects.  Returns 1 after an
// error (51, 43, 45, 47, an effect-term message, a dependent variable among the
// subjects, or a random effect repeated with the same subjects), -1 otherwise;
// leaves the stream where it found it.
int parse_random(host::TokenStream& ts, model::Command& cmd, host::Engine& e);

// REPEATED, from the first token after its name and equals sign: the repeated
// variables, then after the vertical bar SUBJECT (required, 74) and COVTYPE.
// Sets repeated_given, repeated_vars, repeated_subjects and repeated_type; every
// RANDOM subject variable must be a REPEATED subject (9).  Returns true after
// an error, with the stream at the end of the subcommand.
bool parse_repeated(host::TokenStream& ts, model::Command& cmd, host::Engine& e);

}  // namespace mixed::syntax
