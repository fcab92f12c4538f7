// What the rules can produce: a match record from the other machine is checked
// field by field against it before it is ever taken.
#pragma once

#include "net/match_state.h"

// The first field of `s` outside what a match can reach (as "player 2 position"), or
// null when every field is in range. Each field is checked by what it holds, as
// visit_match_fields says.
const char *snapshot_out_of_range(const MatchSnapshot &s);
