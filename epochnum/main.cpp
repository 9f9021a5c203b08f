// epochnum: converts the calendar dates of "i_dat" (a count, then one
// "month day year" per date) into Julian Day Numbers, one per line of "o_dat".
// Command-line arguments are ignored.
#include <cstdint>

#include "free_read.h"
#include "jdn.h"
#include "streams.h"

int main() {
    set_program_name("epochnum");
    // Standard input is never read: it holds no file ("epochnum < i_dat").
    close_stream(STDIN_STREAM);
    connect_stream(DATE_STREAM, "i_dat");
    connect_output(JDN_STREAM, "o_dat");

    int32_t n = 0;  // number of dates; fixed before the first date is read
    const IoItem count[] = {io(n)};
    read_free(DATE_STREAM, count, 1);

    // The date lives across the loop: a null value or a slash leaves an item
    // as the previous date left it (0 before the first date).
    int32_t month = 0;
    int32_t day = 0;
    int32_t year = 0;
    const IoItem date[] = {io(month), io(day), io(year)};
    for (int64_t i = 1; i <= n; ++i) {
        read_free(DATE_STREAM, date, 3);
        const int32_t jdn = date_to_jdn(month, day, year);
        write_free(JDN_STREAM, io(jdn));
    }

    close_stream(DATE_STREAM);
    close_stream(JDN_STREAM);
    close_all_streams();
    return 0;
}
