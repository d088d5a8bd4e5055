#include "media/JpegFile.h"

#include <csetjmp>
#include <cstdio>
#include <memory>

#include <jpeglib.h>

#include "media/MediaFile.h"

namespace media {

namespace {

// libjpeg ends the process on an error unless told otherwise; it jumps back here instead.
// Nothing with a destructor is created between a setjmp and the calls that may jump.
struct ErrorJump {
    jpeg_error_mgr mgr;
    std::jmp_buf back;
};

[[noreturn]] void jumpBack(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorJump*>(cinfo->err)->back, 1);
}
void quiet(j_common_ptr, int) {}

// Compressed bytes collect in a std::string.
struct StringDest {
    jpeg_destination_mgr mgr;
    std::string* out;
    JOCTET block[16384];
};

void initDest(j_compress_ptr c) {
    auto* d = reinterpret_cast<StringDest*>(c->dest);
    d->mgr.next_output_byte = d->block;
    d->mgr.free_in_buffer = sizeof d->block;
}
boolean emptyDest(j_compress_ptr c) {
    auto* d = reinterpret_cast<StringDest*>(c->dest);
    d->out->append(reinterpret_cast<const char*>(d->block), sizeof d->block);
    initDest(c);
    return TRUE;
}
void termDest(j_compress_ptr c) {
    auto* d = reinterpret_cast<StringDest*>(c->dest);
    d->out->append(reinterpret_cast<const char*>(d->block),
                   sizeof d->block - d->mgr.free_in_buffer);
}

struct CompressFree {
    void operator()(jpeg_compress_struct* c) const {
        jpeg_destroy_compress(c);
        delete c;
    }
};
struct DecompressFree {
    void operator()(jpeg_decompress_struct* d) const {
        jpeg_destroy_decompress(d);
        delete d;
    }
};

bool compress(jpeg_compress_struct* c, const uint32_t* const* rows, int width, int height,
              int quality, JSAMPLE* line) {
    ErrorJump* err = reinterpret_cast<ErrorJump*>(c->err);
    if (setjmp(err->back)) return false;
    c->image_width = static_cast<JDIMENSION>(width);
    c->image_height = static_cast<JDIMENSION>(height);
    c->input_components = 3;
    c->in_color_space = JCS_RGB;
    jpeg_set_defaults(c);
    jpeg_set_quality(c, quality, TRUE);
    jpeg_start_compress(c, TRUE);
    for (int r = 0; r < height; ++r) {
        const uint32_t* src = rows[r];
        for (int x = 0; x < width; ++x) {
            line[3 * x] = static_cast<JSAMPLE>(src[x] >> 16);
            line[3 * x + 1] = static_cast<JSAMPLE>(src[x] >> 8);
            line[3 * x + 2] = static_cast<JSAMPLE>(src[x]);
        }
        JSAMPROW row = line;
        jpeg_write_scanlines(c, &row, 1);
    }
    jpeg_finish_compress(c);
    return true;
}

bool decompress(jpeg_decompress_struct* d, std::string_view jpeg, JpegImage* image,
                std::vector<JSAMPLE>* line) {
    ErrorJump* err = reinterpret_cast<ErrorJump*>(d->err);
    if (setjmp(err->back)) return false;
    jpeg_mem_src(d, reinterpret_cast<const unsigned char*>(jpeg.data()),
                 static_cast<unsigned long>(jpeg.size()));
    if (jpeg_read_header(d, TRUE) != JPEG_HEADER_OK) return false;
    if (d->image_width == 0 || d->image_height == 0 ||
        d->image_width > static_cast<JDIMENSION>(JpegFile::kMaxSide) ||
        d->image_height > static_cast<JDIMENSION>(JpegFile::kMaxSide))
        return false;
    d->out_color_space = JCS_RGB;
    jpeg_start_decompress(d);
    if (d->output_components != 3) return false;
    const int width = static_cast<int>(d->output_width);
    const int height = static_cast<int>(d->output_height);
    image->width = width;
    image->height = height;
    image->pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    line->assign(static_cast<size_t>(width) * 3, 0);
    while (d->output_scanline < d->output_height) {
        const size_t r = d->output_scanline;
        JSAMPROW row = line->data();
        if (jpeg_read_scanlines(d, &row, 1) != 1) return false;
        uint32_t* out = image->pixels.data() + r * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x)
            out[x] = (uint32_t{(*line)[3 * x]} << 16) | (uint32_t{(*line)[3 * x + 1]} << 8) |
                     (*line)[3 * x + 2];
    }
    jpeg_finish_decompress(d);
    return true;
}

} // namespace

bool JpegFile::encode(const uint32_t* const* rows, int width, int height, int quality,
                      std::string& jpeg) {
    jpeg.clear();
    if (rows == nullptr || width <= 0 || height <= 0 || width > 65500 || height > 65500)
        return false;
    ErrorJump err{};
    std::unique_ptr<jpeg_compress_struct, CompressFree> c(new jpeg_compress_struct{});
    c->err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jumpBack;
    err.mgr.emit_message = quiet;
    jpeg_create_compress(c.get());
    std::unique_ptr<StringDest> dest(new StringDest{});
    dest->out = &jpeg;
    dest->mgr.init_destination = initDest;
    dest->mgr.empty_output_buffer = emptyDest;
    dest->mgr.term_destination = termDest;
    c->dest = &dest->mgr;
    std::vector<JSAMPLE> line(static_cast<size_t>(width) * 3);
    if (compress(c.get(), rows, width, height, quality, line.data())) return true;
    jpeg.clear();
    return false;
}

bool JpegFile::save(const std::string& gbkPath, const uint32_t* const* rows, int width, int height,
                    int quality) {
    std::string jpeg;
    return encode(rows, width, height, quality, jpeg) && writeWholeFile(gbkPath, jpeg);
}

bool JpegFile::decode(std::string_view jpeg, JpegImage& image) {
    image = JpegImage{};
    if (jpeg.empty() || jpeg.size() > kMaxFileBytes) return false;
    ErrorJump err{};
    std::unique_ptr<jpeg_decompress_struct, DecompressFree> d(new jpeg_decompress_struct{});
    d->err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jumpBack;
    err.mgr.emit_message = quiet;
    jpeg_create_decompress(d.get());
    std::vector<JSAMPLE> line;
    if (decompress(d.get(), jpeg, &image, &line)) return true;
    image = JpegImage{};
    return false;
}

bool JpegFile::load(const std::string& gbkPath, JpegImage& image) {
    std::string bytes;
    if (!readWholeFile(gbkPath, kMaxFileBytes, bytes)) {
        image = JpegImage{};
        return false;
    }
    return decode(bytes, image);
}

} // namespace media
