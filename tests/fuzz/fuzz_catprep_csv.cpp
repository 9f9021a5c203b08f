// Fuzz harness: ComCat CSV into catalog lines (see fuzz_catprep.h). CR LF
// line ends must change nothing when no quoted field spans lines.
#include "fuzz_catprep.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view s(reinterpret_cast<const char*>(data), size);
    fuzz_catprep(data, size, FORMAT_CSV, s.find('"') == std::string_view::npos);
    return 0;
}
