// fatal: what the unit tests and the fuzz harnesses put in place of the exit.
//
// A failure of a run ends it through fatal_io_error, which normally exits. A
// test or a harness sets throw_fatal as its hook instead: the failure then
// comes back as a Fatal exception, after the diagnostic is written and the
// streams are closed, and the next case starts afresh.
#pragma once

struct Fatal {};  // thrown by the fatal hook instead of the exit

inline void throw_fatal() { throw Fatal{}; }
