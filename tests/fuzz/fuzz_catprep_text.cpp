// Fuzz harness: FDSN event text into catalog lines (see fuzz_catprep.h);
// CR LF line ends must change nothing.
#include "fuzz_catprep.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_catprep(data, size, FORMAT_TEXT, true);
    return 0;
}
