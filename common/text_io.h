// text_io: the text input and output component, in one include.
//
// Every byte the programs read or write passes through it: the statement
// values (text), the numbered streams and the one failure road (streams),
// free-form read statements (free_read) and the conversion of numbers
// (numbers, used by the reader).
#pragma once

#include "free_read.h"
#include "streams.h"
#include "text.h"
