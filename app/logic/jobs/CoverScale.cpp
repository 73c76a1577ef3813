#include "CoverScale.h"

#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <cstdint>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "FFPtr.h"

namespace {

constexpr int JpegQuality = 90;

// Decodes the JPEG or PNG `data` into `frame`; empty or the reason.
std::string DecodePicture(const std::string& data, AVFrame* frame) {
    const std::string mime = PictureMimeOf(data);
    const AVCodecID id = mime == "image/png"    ? AV_CODEC_ID_PNG
                         : mime == "image/jpeg" ? AV_CODEC_ID_MJPEG
                                                : AV_CODEC_ID_NONE;
    if (id == AV_CODEC_ID_NONE)
        return "the cover is neither JPEG nor PNG";
    const AVCodec* codec = ff::avcodec_find_decoder(id);
    if (codec == nullptr)
        return "no decoder for the cover";
    TCodecContextPtr context(ff::avcodec_alloc_context3(codec));
    if (!context || ff::avcodec_open2(context.get(), codec, nullptr) < 0)
        return "cannot open the cover's decoder";
    TPacketPtr packet(ff::av_packet_alloc());
    if (!packet || ff::av_new_packet(packet.get(), static_cast<int>(data.size())) < 0)
        return "out of memory";
    std::memcpy(packet->data, data.data(), data.size());
    if (ff::avcodec_send_packet(context.get(), packet.get()) < 0 ||
        ff::avcodec_send_packet(context.get(), nullptr) < 0 ||
        ff::avcodec_receive_frame(context.get(), frame) < 0)
        return "cannot decode the cover";
    return "";
}

// Codes `rows` of RGB pixels as JPEG.
std::string EncodeJpeg(const uint8_t* rgb, int lineSize, int width, int height) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, JpegQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + info.next_scanline * lineSize);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string coded(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return coded;
}

} // namespace

void FitPictureSize(int width, int height, int maxPixels, int& fitWidth, int& fitHeight) {
    fitWidth = width;
    fitHeight = height;
    if (maxPixels <= 0 || (width <= maxPixels && height <= maxPixels))
        return;
    if (width >= height) {
        fitWidth = maxPixels;
        fitHeight = std::max(
            1, static_cast<int>((static_cast<int64_t>(height) * maxPixels + width / 2) / width));
    } else {
        fitHeight = maxPixels;
        fitWidth = std::max(
            1, static_cast<int>((static_cast<int64_t>(width) * maxPixels + height / 2) / height));
    }
}

std::string ScaleCoverPicture(TCoverPicture& picture, int maxPixels, bool& scaled) {
    scaled = false;
    TFramePtr frame(ff::av_frame_alloc());
    if (!frame)
        return "out of memory";
    const std::string problem = DecodePicture(picture.Data, frame.get());
    if (!problem.empty())
        return problem;
    int width = 0, height = 0;
    FitPictureSize(frame->width, frame->height, maxPixels, width, height);
    if (width == frame->width && height == frame->height)
        return "";
    TScalerContextPtr scaler(ff::sws_getContext(
        frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), width, height,
        AV_PIX_FMT_RGB24, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr,
        nullptr));
    if (!scaler)
        return "cannot scale the cover";
    const int lineSize = width * 3;
    std::vector<uint8_t> rgb(static_cast<size_t>(lineSize) * height);
    uint8_t* planes[4] = {rgb.data(), nullptr, nullptr, nullptr};
    int lines[4] = {lineSize, 0, 0, 0};
    if (ff::sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes,
                      lines) != height)
        return "cannot scale the cover";
    picture.Data = EncodeJpeg(rgb.data(), lineSize, width, height);
    picture.Mime = "image/jpeg";
    scaled = true;
    return "";
}
