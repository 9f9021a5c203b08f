// formats: the three source formats, each read record by record into
// take_record, and the choice of format from an input's first bytes.
//
// Owns ComCat CSV (columns by header name, RFC 4180 quoting), FDSN event text
// (`|`-separated, `#` header, with or without the EventType column) and
// QuakeML (streamed through expat: preferred origin and magnitude of each
// event, depth in metres). A header without the needed columns, malformed
// XML and an unknown format end the run through tool_fail, naming the file
// and where.
// Does not own the conversion steps (records) or the bytes (input).
#pragma once

#include <string>

#include "input.h"
#include "records.h"

enum Format { FORMAT_UNKNOWN, FORMAT_CSV, FORMAT_TEXT, FORMAT_QUAKEML };

// The format of an input, from its first bytes: `<` starts QuakeML, `#` FDSN
// text, a first line with commas CSV. FORMAT_UNKNOWN otherwise; an empty
// input is taken as CSV without records.
Format detect_format(Input& in);

// The format named on the command line ("csv", "text", "quakeml").
Format format_named(const std::string& name);

void read_csv(Input& in, Catalog& cat);
void read_text(Input& in, Catalog& cat);
void read_quakeml(Input& in, Catalog& cat);

// Reads one input in the given format (FORMAT_UNKNOWN: recognised from it).
void read_input(Input& in, Format format, Catalog& cat);

// Called now and then while reading, with the bytes taken so far: the
// progress line on a terminal. Null by default.
extern void (*progress_hook)(const Input& in, const Catalog& cat);
