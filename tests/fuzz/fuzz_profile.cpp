// libFuzzer target: the settings file reader on any bytes, for the key the
// window asks for and for a section and key taken from the input itself.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    const auto title = korvex::LookupProfileText(bytes, "Setup", "Title");
    // a value is one line's text
    if (title && title->find_first_of("\r\n") != std::string::npos)
        std::abort();
    const size_t cut = bytes.find('\n');
    if (cut != std::string::npos) {
        const std::string first = bytes.substr(0, cut);
        const size_t eq = first.find('=');
        (void)korvex::LookupProfileText(bytes.substr(cut + 1), first.substr(0, eq),
                                        eq == std::string::npos ? "" : first.substr(eq + 1));
    }
    return 0;
}
