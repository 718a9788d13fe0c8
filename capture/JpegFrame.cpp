#include "capture/JpegFrame.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

bool IsCompleteJpeg(const uint8_t* data, size_t length)
{
    return data && length >= 4 && data[0] == 0xFF && data[1] == 0xD8 && data[length - 2] == 0xFF &&
           data[length - 1] == 0xD9;
}

namespace {

// libjpeg reports fatal errors through error_exit, which must not return: we
// jump back to the setjmp of the running call. Warnings (corrupt entropy data,
// a premature end) are counted so that a damaged frame is refused as well.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int warnings = 0;
};

void OnError(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level)
{
    if (level < 0)
        ++reinterpret_cast<ErrorManager*>(cinfo->err)->warnings;
}

void Silent(j_common_ptr) {}

void InstallErrorManager(ErrorManager& err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = OnMessage;
    err.pub.output_message = Silent;
}

} // namespace

struct JpegFrameDecoder::State {
    jpeg_decompress_struct cinfo{};
    ErrorManager err;
    bool created = false;
    std::vector<uint8_t> row;      // one decoded scan line, full width
    std::vector<uint8_t> visible;  // the part that lands in the destination, committed on success
};

JpegFrameDecoder::JpegFrameDecoder() : state_(std::make_unique<State>())
{
    InstallErrorManager(state_->err);
    state_->cinfo.err = &state_->err.pub;
    if (setjmp(state_->err.jump) == 0) {
        jpeg_create_decompress(&state_->cinfo);
        state_->created = true;
    }
}

JpegFrameDecoder::~JpegFrameDecoder()
{
    if (state_->created)
        jpeg_destroy_decompress(&state_->cinfo);
}

// Reads the header and starts decoding to B, G, R rows. Called after the
// caller's setjmp: a corrupt picture jumps back there.
// False (nothing started) when the header claims a size no camera sends.
static bool StartBgrDecoding(jpeg_decompress_struct& cinfo, const uint8_t* data, size_t length)
{
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(length));
    jpeg_read_header(&cinfo, TRUE);
    if (!PictureSizeAcceptable(cinfo.image_width, cinfo.image_height)) {
        jpeg_abort_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    return true;
}

bool JpegFrameDecoder::DrawOnto(const uint8_t* data, size_t length, const BitmapView& dest, int topOffset)
{
    State& s = *state_;
    if (!s.created || !data || length < 4 || !dest.Valid() || topOffset < 0 || topOffset >= dest.height)
        return false;
    jpeg_decompress_struct& cinfo = s.cinfo;
    // Nothing set after setjmp is read after a longjmp: the jump only aborts.
    s.err.warnings = 0;
    if (setjmp(s.err.jump) != 0) {
        jpeg_abort_decompress(&cinfo);
        return false;
    }
    if (!StartBgrDecoding(cinfo, data, length))
        return false;
    const int outWidth = int(cinfo.output_width);
    const int outHeight = int(cinfo.output_height);
    const int visibleCols = std::min(outWidth, dest.width);
    const int visibleRows = std::min(outHeight, dest.height - topOffset);
    s.row.resize(size_t(outWidth) * 3);
    s.visible.resize(size_t(visibleCols) * 3 * size_t(visibleRows));
    // A picture no wider than the destination is decoded straight into the
    // kept rows; a wider one row by row, cut to the destination's width.
    const bool whole = outWidth == visibleCols;
    for (int r = 0; r < visibleRows; ++r) {
        uint8_t* const kept = s.visible.data() + size_t(r) * size_t(visibleCols) * 3;
        JSAMPROW rowPtr = whole ? kept : s.row.data();
        if (jpeg_read_scanlines(&cinfo, &rowPtr, 1) != 1) {
            jpeg_abort_decompress(&cinfo);
            return false;
        }
        if (!whole)
            std::memcpy(kept, s.row.data(), size_t(visibleCols) * 3);
    }
    // The rows below the destination's edge are cut off: no need to decode them.
    jpeg_abort_decompress(&cinfo);
    if (s.err.warnings > 0)
        return false;

    for (int r = 0; r < visibleRows; ++r) {
        const uint8_t* src = s.visible.data() + size_t(r) * size_t(visibleCols) * 3;
        uint8_t* dst = dest.TopRow(topOffset + r);
        if (dest.bytesPerPixel == 3) {
            std::memcpy(dst, src, size_t(visibleCols) * 3);
        } else {
            for (int x = 0; x < visibleCols; ++x)
                std::memcpy(dst + size_t(x) * size_t(dest.bytesPerPixel), src + size_t(x) * 3, 3);
        }
    }
    return true;
}

bool JpegFrameDecoder::DecodeBgr(const uint8_t* data, size_t length, std::vector<uint8_t>& bgr, int& width,
                                 int& height)
{
    State& s = *state_;
    if (!s.created || !data || length < 4)
        return false;
    jpeg_decompress_struct& cinfo = s.cinfo;
    s.err.warnings = 0;
    if (setjmp(s.err.jump) != 0) {
        jpeg_abort_decompress(&cinfo);
        return false;
    }
    if (!StartBgrDecoding(cinfo, data, length))
        return false;
    width = int(cinfo.output_width);
    height = int(cinfo.output_height);
    bgr.resize(size_t(width) * size_t(height) * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rowPtr = bgr.data() + size_t(cinfo.output_scanline) * size_t(width) * 3;
        if (jpeg_read_scanlines(&cinfo, &rowPtr, 1) != 1)
            break;
    }
    jpeg_finish_decompress(&cinfo);
    return s.err.warnings == 0;
}

bool EncodeJpegBgr(const uint8_t* bgr, int width, int height, int quality, std::vector<uint8_t>& out)
{
    if (!bgr || width <= 0 || height <= 0)
        return false;
    // Everything libjpeg changes lives on the heap, so its value is known after a longjmp.
    struct Encoder {
        jpeg_compress_struct cinfo{};
        ErrorManager err;
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        ~Encoder()
        {
            jpeg_destroy_compress(&cinfo);
            std::free(buffer);
        }
    };
    auto enc = std::make_unique<Encoder>();
    jpeg_compress_struct& cinfo = enc->cinfo;
    InstallErrorManager(enc->err);
    cinfo.err = &enc->err.pub;
    if (setjmp(enc->err.jump) != 0)
        return false;
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &enc->buffer, &enc->size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rowPtr = const_cast<uint8_t*>(bgr) + size_t(cinfo.next_scanline) * size_t(width) * 3;
        jpeg_write_scanlines(&cinfo, &rowPtr, 1);
    }
    jpeg_finish_compress(&cinfo);
    out.assign(enc->buffer, enc->buffer + enc->size);
    return true;
}
