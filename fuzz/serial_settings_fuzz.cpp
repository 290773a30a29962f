// The serial-port setting parser on arbitrary bytes: it must never
// read outside its input or crash, and what it accepts must be a setting the
// port can be given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include "runtime/platform/file_handle.h"
#include "runtime/system/files_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SerialSettings s;
    const char* text = reinterpret_cast<const char*>(data);
    int32_t result = files_detail::serial_settings_parse(text, size, &s);
    if (result != handle_ok && result != handle_bad_settings) std::abort();
    if (result == handle_bad_settings) return 0;
    bool sound = s.port >= 1 && s.speed > 0 && s.data_bits >= 5 && s.data_bits <= 8 && s.stop_half_bits >= 2 &&
        s.stop_half_bits <= 4 && static_cast<uint8_t>(s.parity) <= 5 && files_detail::serial_settings_named(text, size);
    if (!sound) std::abort();
    return 0;
}
