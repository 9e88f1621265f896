// PNG (libpng's simplified interface) and JPEG (libjpeg) for pictures and screenshots.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "graphics/gfx_internal.h"

namespace vcl::gfx {

namespace {
constexpr uint64_t kMaxPixels = uint64_t(1) << 26;
constexpr uint32_t kMaxSide = 32767;  // the largest surface Cairo makes
}

void DecodePng(const uint8_t* data, size_t size, TDecodedImage& out) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, data, size)) {
        png_image_free(&img);
        throw EInvalidGraphic("PNG image is not valid");
    }
    if (img.width == 0 || img.height == 0 || img.width > kMaxSide || img.height > kMaxSide ||
        uint64_t(img.width) * img.height > kMaxPixels) {
        png_image_free(&img);
        throw EInvalidGraphic("PNG image is not valid");
    }
    img.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> px(size_t(img.width) * img.height);
    if (!png_image_finish_read(&img, nullptr, px.data(), 0, nullptr)) {
        png_image_free(&img);
        throw EInvalidGraphic("PNG image is not valid");
    }
    out.width = int(img.width);
    out.height = int(img.height);
    out.format = pf32bit;
    out.palette.clear();
    out.pixels = std::move(px);
    out.topDown = true;
}

std::string EncodePng(const TDecodedImage& src, bool alpha) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = png_uint_32(src.width);
    img.height = png_uint_32(src.height);
    std::vector<uint8_t> buf;
    if (alpha) {
        img.format = PNG_FORMAT_BGRA;
        buf.resize(src.pixels.size() * 4);
        std::memcpy(buf.data(), src.pixels.data(), buf.size());
    } else {
        img.format = PNG_FORMAT_BGR;
        buf.resize(src.pixels.size() * 3);
        for (size_t i = 0; i < src.pixels.size(); ++i) {
            uint32_t p = src.pixels[i];
            buf[3 * i] = uint8_t(p & 0xFF);
            buf[3 * i + 1] = uint8_t((p >> 8) & 0xFF);
            buf[3 * i + 2] = uint8_t((p >> 16) & 0xFF);
        }
    }
    png_alloc_size_t n = 0;
    if (!png_image_write_to_memory(&img, nullptr, &n, 0, buf.data(), 0, nullptr))
        throw EInvalidGraphic("Cannot write PNG image");
    std::string out(n, '\0');
    if (!png_image_write_to_memory(&img, out.data(), &n, 0, buf.data(), 0, nullptr))
        throw EInvalidGraphic("Cannot write PNG image");
    out.resize(n);
    return out;
}

namespace {
struct JpegErr {
    jpeg_error_mgr pub;
    jmp_buf jb;
};
void JpegErrorExit(j_common_ptr c) { longjmp(reinterpret_cast<JpegErr*>(c->err)->jb, 1); }
void JpegSilent(j_common_ptr) {}

// Plain C-style work between setjmp and longjmp: nothing here has a destructor.
bool JpegDecodeRaw(const uint8_t* data, size_t size, int* w, int* h, uint8_t** rgb) {
    jpeg_decompress_struct cinfo;
    JpegErr err;
    *rgb = nullptr;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    err.pub.output_message = JpegSilent;
    if (setjmp(err.jb)) {
        jpeg_destroy_decompress(&cinfo);
        std::free(*rgb);
        *rgb = nullptr;
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, (unsigned long)size);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_width == 0 || cinfo.output_height == 0 || cinfo.output_components != 3 ||
        cinfo.output_width > kMaxSide || cinfo.output_height > kMaxSide ||
        uint64_t(cinfo.output_width) * cinfo.output_height > kMaxPixels) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    *w = int(cinfo.output_width);
    *h = int(cinfo.output_height);
    size_t stride = size_t(cinfo.output_width) * 3;
    *rgb = static_cast<uint8_t*>(std::malloc(stride * cinfo.output_height));
    if (!*rgb) { jpeg_destroy_decompress(&cinfo); return false; }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = *rgb + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool JpegEncodeRaw(const uint8_t* rgb, int w, int h, int quality, unsigned char** out, unsigned long* outSize) {
    jpeg_compress_struct cinfo;
    JpegErr err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    err.pub.output_message = JpegSilent;
    if (setjmp(err.jb)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, outSize);
    cinfo.image_width = JDIMENSION(w);
    cinfo.image_height = JDIMENSION(h);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(rgb) + size_t(cinfo.next_scanline) * size_t(w) * 3;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}
}  // namespace

void DecodeJpeg(const uint8_t* data, size_t size, TDecodedImage& out) {
    int w = 0, h = 0;
    uint8_t* rgb = nullptr;
    if (!JpegDecodeRaw(data, size, &w, &h, &rgb)) throw EInvalidGraphic("JPEG image is not valid");
    out.width = w;
    out.height = h;
    out.format = pf24bit;
    out.palette.clear();
    out.pixels.resize(size_t(w) * size_t(h));
    for (size_t i = 0; i < out.pixels.size(); ++i)
        out.pixels[i] = uint32_t(rgb[3 * i]) << 16 | uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
    std::free(rgb);
    out.topDown = true;
}

std::string EncodeJpeg(const TDecodedImage& img, int quality) {
    std::vector<uint8_t> rgb(img.pixels.size() * 3);
    for (size_t i = 0; i < img.pixels.size(); ++i) {
        uint32_t p = img.pixels[i];
        rgb[3 * i] = uint8_t((p >> 16) & 0xFF);
        rgb[3 * i + 1] = uint8_t((p >> 8) & 0xFF);
        rgb[3 * i + 2] = uint8_t(p & 0xFF);
    }
    unsigned char* out = nullptr;
    unsigned long n = 0;
    bool ok = JpegEncodeRaw(rgb.data(), img.width, img.height, quality, &out, &n);
    std::string s;
    if (ok && out) s.assign(reinterpret_cast<char*>(out), n);
    std::free(out);
    if (!ok) throw EInvalidGraphic("Cannot write JPEG image");
    return s;
}

}  // namespace vcl::gfx
