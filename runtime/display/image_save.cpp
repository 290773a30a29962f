// Pictures written to files: an image as a PNG (deflated by zlib) or a BMP,
// 32-bit images with their alpha, palette images with their palette and
// transparent colour, text images drawn through their font. The file is
// written under a temporary name in its folder and renamed over the old one
// only when it is whole.
#include "runtime/display/image_files.h"
#include "runtime/display/image_save_internal.h"

#include <zlib.h>

#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/code_page.h"
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/strings.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/platform/replace_file.h"

namespace {

constexpr int32_t written = -1, not_written = 0;
constexpr size_t write_chunk = 64 * 1024;

// Bytes the writer lets through before it fails as a full disk would (tests);
// SIZE_MAX when it never does.
size_t FailWritesAfter = SIZE_MAX;

// --- The picture: rows of palette indices or of 0xAARRGGBB words --------------

struct Picture {
    const ImageRec* image = nullptr;
    int width = 0, height = 0;
    bool true_colour = false;
    std::vector<uint32_t> palette;  // 0x00RRGGBB, as many entries as the image has colours
    int transparent = -1;  // palette index written with alpha 0
    // Text images: the cell size their font draws.
    int cell_width = 0, cell_height = 0;
};

bool picture_of(const ImageRec& image, Picture* p) {
    p->image = &image;
    p->true_colour = !image.is_text && image.bytes_per_pixel == 4;
    if (image.is_text) {
        const FontSlot& f = font_slot(image.font);
        p->cell_width = f.cell_width ? int(f.cell_width) : 8;
        p->cell_height = f.cell_height ? int(f.cell_height) : 16;
        p->width = image.width * p->cell_width;
        p->height = image.height * p->cell_height;
    } else {
        p->width = image.width;
        p->height = image.height;
    }
    if (p->width < 1 || p->height < 1 || !image.pixels) return false;
    if (p->true_colour) return true;
    const size_t entries = image.is_text ? 16 : image.bits_per_pixel >= 8 ? 256 : size_t(1) << image.bits_per_pixel;
    p->palette.assign(entries, 0);
    for (size_t i = 0; i < entries && image.palette; ++i) p->palette[i] = image.palette[i] & 0xFFFFFF;
    if (image.mode == 10 && image.palette) {
        // The monochrome mode's entries 0-3 are the colours its entries 4-7
        // name in the blink table, as the screen shows them.
        for (int i = 0; i < 4; ++i) {
            const uint32_t index = image.palette[4 + i];
            p->palette[size_t(i)] = mono_blink_colour(0, index <= 8 ? int(index) : 0);
        }
    }
    if (!image.is_text && image.transparent_colour >= 0 && size_t(image.transparent_colour) < entries)
        p->transparent = image.transparent_colour;
    return true;
}

// Row y of a palette picture as indices.
void index_row(const Picture& p, int y, uint8_t* out) {
    const ImageRec& image = *p.image;
    if (!image.is_text) {
        const uint8_t* row = image.pixels + size_t(y) * image.width;
        const uint8_t mask = uint8_t(p.palette.size() - 1);
        for (int x = 0; x < p.width; ++x) out[x] = row[x] & mask;
        return;
    }
    // A text row: each cell's glyph line in its colours, blinking cells in
    // their shown half, no cursor.
    const int cell_row = y / p.cell_height, line = y % p.cell_height;
    const uint8_t* cells = image.pixels + size_t(cell_row) * image.width * 2;
    const FontSlot& f = font_slot(image.font);
    for (int col = 0; col < image.width; ++col) {
        const uint8_t ch = cells[2 * col], attr = cells[2 * col + 1];
        const uint8_t fg = attr & 15, bg = (attr >> 4) & 7;
        uint8_t* at = out + size_t(col) * p.cell_width;
        for (int x = 0; x < p.cell_width; ++x) {
            uint8_t ink = 0;
            if (f.cell_glyphs)
                ink = f.cell_glyphs[(size_t(ch) * p.cell_height + line) * p.cell_width + x];
            else
                ink = builtin_glyph_pixel(image.font, ch, uint32_t(x), uint32_t(line));
            at[x] = ink ? fg : bg;
        }
    }
}

// Row y of a 32-bit picture.
const uint32_t* colour_row(const Picture& p, int y) {
    return reinterpret_cast<const uint32_t*>(p.image->pixels) + size_t(y) * p.width;
}

// --- Output: the replacement file written in whole chunks ---------------------

struct Output {
    FileReplacement* file = nullptr;
    std::vector<uint8_t> buffer;
    size_t total = 0;
    bool failed = false;

    void flush() {
        size_t n = buffer.size();
        // The test hook's full disk takes what fits and refuses the rest.
        if (total + n > FailWritesAfter) {
            n = FailWritesAfter > total ? FailWritesAfter - total : 0;
            failed = true;
        }
        if (n && !replace_file_write(file, buffer.data(), n)) failed = true;
        total += n;
        buffer.clear();
    }
    void put(const void* data, size_t bytes) {
        if (failed) return;
        const auto* b = static_cast<const uint8_t*>(data);
        buffer.insert(buffer.end(), b, b + bytes);
        if (buffer.size() >= write_chunk) flush();
    }
    void u8(uint8_t v) { put(&v, 1); }
    void le16(uint32_t v) { u8(uint8_t(v)), u8(uint8_t(v >> 8)); }
    void le32(uint32_t v) { le16(v & 0xFFFF), le16(v >> 16); }
};

void be32(uint8_t* at, uint32_t v) {
    at[0] = uint8_t(v >> 24), at[1] = uint8_t(v >> 16), at[2] = uint8_t(v >> 8), at[3] = uint8_t(v);
}

// --- PNG -------------------------------------------------------------------------

void png_chunk(Output& out, const char* type, const uint8_t* data, size_t bytes) {
    uint8_t head[8];
    be32(head, uint32_t(bytes));
    std::memcpy(head + 4, type, 4);
    out.put(head, 8);
    if (bytes) out.put(data, bytes);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    if (bytes) crc = crc32(crc, data, uInt(bytes));
    uint8_t tail[4];
    be32(tail, uint32_t(crc));
    out.put(tail, 4);
}

// The rows deflated into IDAT chunks as they come, so memory stays one row and
// one chunk whatever the picture's size.
struct PngRows {
    Output& out;
    z_stream z{};
    std::vector<uint8_t> chunk = std::vector<uint8_t>(write_chunk);
    bool ok = false;

    explicit PngRows(Output& o) : out(o) { ok = deflateInit(&z, Z_DEFAULT_COMPRESSION) == Z_OK; }
    ~PngRows() {
        if (ok) deflateEnd(&z);
    }
    bool feed(const uint8_t* data, size_t bytes, int flush) {
        z.next_in = const_cast<Bytef*>(data);
        z.avail_in = uInt(bytes);
        for (;;) {
            z.next_out = chunk.data();
            z.avail_out = uInt(chunk.size());
            const int r = deflate(&z, flush);
            if (r == Z_STREAM_ERROR) return false;
            const size_t made = chunk.size() - z.avail_out;
            if (made) png_chunk(out, "IDAT", chunk.data(), made);
            if (flush == Z_FINISH ? r == Z_STREAM_END : z.avail_out != 0) return !out.failed;
        }
    }
};

bool write_png(Output& out, const Picture& p) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.put(signature, 8);
    uint8_t header[13] = {};
    be32(header, uint32_t(p.width));
    be32(header + 4, uint32_t(p.height));
    header[8] = 8;  // bits a sample
    header[9] = p.true_colour ? 6 : 3;  // RGBA, or palette indices
    png_chunk(out, "IHDR", header, sizeof header);
    if (!p.true_colour) {
        std::vector<uint8_t> plte;
        for (uint32_t c : p.palette) plte.insert(plte.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
        png_chunk(out, "PLTE", plte.data(), plte.size());
        if (p.transparent >= 0) {
            std::vector<uint8_t> alpha(size_t(p.transparent) + 1, 255);
            alpha[size_t(p.transparent)] = 0;
            png_chunk(out, "tRNS", alpha.data(), alpha.size());
        }
    }
    PngRows rows(out);
    if (!rows.ok) return false;
    const size_t row_bytes = 1 + size_t(p.width) * (p.true_colour ? 4 : 1);
    std::vector<uint8_t> row(row_bytes, 0);  // filter byte 0: the row as it is
    for (int y = 0; y < p.height; ++y) {
        if (p.true_colour) {
            const uint32_t* src = colour_row(p, y);
            for (int x = 0; x < p.width; ++x) {
                const uint32_t c = src[x];
                uint8_t* at = &row[1 + size_t(x) * 4];
                at[0] = uint8_t(c >> 16), at[1] = uint8_t(c >> 8), at[2] = uint8_t(c), at[3] = uint8_t(c >> 24);
            }
        } else {
            index_row(p, y, &row[1]);
        }
        if (!rows.feed(row.data(), row.size(), Z_NO_FLUSH)) return false;
    }
    if (!rows.feed(nullptr, 0, Z_FINISH)) return false;
    png_chunk(out, "IEND", nullptr, 0);
    return true;
}

// --- BMP -------------------------------------------------------------------------

constexpr uint32_t bmp_file_header = 14, bmp_info_header = 40, bmp_v4_header = 108;

bool write_bmp(Output& out, const Picture& p) {
    const uint64_t row_bytes = p.true_colour ? uint64_t(p.width) * 4 : (uint64_t(p.width) + 3) / 4 * 4;
    const uint32_t header = bmp_file_header + (p.true_colour ? bmp_v4_header : bmp_info_header);
    const uint32_t palette_bytes = p.true_colour ? 0 : uint32_t(p.palette.size()) * 4;
    const uint64_t size = uint64_t(header) + palette_bytes + row_bytes * uint64_t(p.height);
    // The format counts its sizes in 32 bits.
    if (size > UINT32_MAX || p.width > INT32_MAX || p.height > INT32_MAX) return false;
    out.put("BM", 2);
    out.le32(uint32_t(size));
    out.le32(0);
    out.le32(header + palette_bytes);
    out.le32(p.true_colour ? bmp_v4_header : bmp_info_header);
    out.le32(uint32_t(p.width));
    out.le32(uint32_t(p.height));  // positive: rows from the bottom up
    out.le16(1);
    out.le16(p.true_colour ? 32 : 8);
    out.le32(p.true_colour ? 3 : 0);  // bit fields, or plain indices
    out.le32(uint32_t(row_bytes * uint64_t(p.height)));
    out.le32(2835), out.le32(2835);  // 72 dots an inch
    out.le32(p.true_colour ? 0 : uint32_t(p.palette.size()));
    out.le32(0);
    if (p.true_colour) {
        out.le32(0x00FF0000), out.le32(0x0000FF00), out.le32(0x000000FF), out.le32(0xFF000000);
        out.le32(0x73524742);  // sRGB
        for (int i = 0; i < 12; ++i) out.le32(0);  // end points and gamma, unused for sRGB
    } else {
        for (uint32_t c : p.palette) out.le32(c & 0xFFFFFF);
    }
    std::vector<uint8_t> row(size_t(row_bytes), 0);
    for (int y = p.height - 1; y >= 0 && !out.failed; --y) {
        if (p.true_colour)
            std::memcpy(row.data(), colour_row(p, y), size_t(p.width) * 4);
        else
            index_row(p, y, row.data());
        out.put(row.data(), row.size());
    }
    return !out.failed;
}

// --- The file --------------------------------------------------------------------

bool write_file(const std::string& name, const Picture& p, bool png) {
    FileReplacement file;
    if (!replace_file_begin(name.c_str(), &file)) return false;
    Output out;
    out.file = &file;
    bool ok = png ? write_png(out, p) : write_bmp(out, p);
    if (ok) out.flush();
    if (ok && !out.failed) return replace_file_commit(&file);
    replace_file_abort(&file);
    return false;
}

enum class Format { png, bmp, unknown };

Format format_word(std::string_view word) {
    std::string upper(word);
    for (char& c : upper) c = ascii_upper(c);
    if (upper == "PNG") return Format::png;
    if (upper == "BMP") return Format::bmp;
    return Format::unknown;
}

Format format_of_name(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && name.find('/', dot) == std::string::npos &&
        format_word(std::string_view(name).substr(dot + 1)) == Format::bmp)
        return Format::bmp;
    return Format::png;
}

}  // namespace

int32_t image_save(StrDesc* file, int32_t image, StrDesc* format, uint32_t passed) {
    if (runtime_error_pending()) {
        str_consume(file);
        str_consume(format);
        return not_written;
    }
    const std::string name(str_view(file));
    str_consume(file);
    Format chosen = Format::unknown;
    if (passed & image_save_format_given) {
        chosen = format_word(str_view(format));
        str_consume(format);
        if (chosen == Format::unknown) {
            runtime_error(error_illegal_function_call);
            return not_written;
        }
    }
    const int32_t handle = (passed & image_save_image_given) ? image_argument_handle(image) : display_image_handle();
    const ImageRec* record = handle ? image_record(handle) : nullptr;
    if (!record) {
        if (!runtime_error_pending()) runtime_error(error_invalid_handle);
        return not_written;
    }
    // A zero byte inside the name would write some other file.
    if (name.empty() || name.find('\0') != std::string::npos) return not_written;
    if (chosen == Format::unknown) chosen = format_of_name(name);
    Picture picture;
    if (!picture_of(*record, &picture)) return not_written;
    return write_file(name, picture, chosen == Format::png) ? written : not_written;
}

void image_save_fail_writes_after(size_t bytes) { FailWritesAfter = bytes; }
