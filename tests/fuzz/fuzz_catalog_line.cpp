// Fuzz harness: catalog lines read in one pass (the common line) and by the
// general free-form reader give the same events bit for bit, or the same
// failure, for any bytes.
//
// The first input byte picks the layout (labelled or plain) and how many
// events are read (1 to 4); the rest is the catalog file. The file is read
// twice in the process: through read_event, which takes the common line
// itself and hands any other to read_free, and through read_free alone.

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#include "event_catalog.h"
#include "fuzz_support.h"
#include "text_io.h"

namespace {

// The events read, each field's bits, then the diagnostic of a failure.
std::string read_all(const std::string& file, int32_t count, Layout layout, bool general) {
    reset_streams();
    set_program_name("ringpick");
    set_fatal_hook(throw_fatal);
    std::string out;
    try {
        connect_stream(STDIN_STREAM, file);
        for (int32_t k = 0; k < count; ++k) {
            CatalogEvent ev{};
            ev.tim = make_text("");
            ev.nam = ev.tim;
            if (general) {
                read_event_statement(ev, STDIN_STREAM, layout);
            } else {
                read_event(ev, STDIN_STREAM, layout);
            }
            out.append(ev.tim.c, TEXT_LEN);
            for (float v : {ev.lat, ev.lon, ev.dep, ev.mag}) out += std::to_string(std::bit_cast<uint32_t>(v)) + " ";
            out += std::to_string(std::bit_cast<uint64_t>(ev.dat)) + " ";
            out.append(ev.nam.c, TEXT_LEN);
            out += "\n";
        }
        close_all_streams();
    } catch (const Fatal&) {
        out += "failure: " + std::string(last_diagnostic());
    }
    reset_streams();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t how = data[0];
    const Layout layout = (how & 1) ? Layout::plain : Layout::labelled;
    const int32_t count = 1 + ((how >> 1) & 3);
    const std::string file = scratch("catalog");
    put_file(file, std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    const std::string fast = read_all(file, count, layout, false);
    const std::string general = read_all(file, count, layout, true);
    check(fast == general, "the common line read as the general reader reads it",
          "one pass:\n" + shown_bytes(fast) + "\ngeneral:\n" + shown_bytes(general));
    return 0;
}
