// The event thread reads the desktop; the program thread, which owns the
// images, makes the image from it.
#include "runtime/system/capture.h"
#include <vector>
#include "runtime/core/errors.h"
#include "runtime/core/requests.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/platform/x11_xtest.h"

int32_t screen_capture() {
    if (runtime_error_pending()) return 0;
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    bool read = false;
    event_request(
        EventRequestKind::once, [&] { read = x11_desktop_capture(&pixels, &width, &height); }, true);
    if (!read || width < 1 || height < 1 || width > image_size_limit || height > image_size_limit) return 0;
    int32_t handle = image_create(width, height, 32);
    ImageRec* image = image_record(handle);
    if (!image) return 0;
    page_write(image->pixels, pixels.data(), pixels.size() * sizeof(uint32_t));
    return -handle;
}
