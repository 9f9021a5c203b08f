// Fuzz harness: QuakeML into catalog lines through expat (see
// fuzz_catprep.h), the format also recognised from the bytes. XML keeps a CR
// of a text value as a line feed, and values are stripped, so CR LF line
// ends must change nothing there either.
#include "fuzz_catprep.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_catprep(data, size, size > 1 && (data[0] & 8) != 0 ? FORMAT_UNKNOWN : FORMAT_QUAKEML, true);
    return 0;
}
