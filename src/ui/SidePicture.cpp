#include "SidePicture.h"

#include <csetjmp>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

#include "Exception.h"
#include "Messages.h"

namespace {

struct TJpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnJpegError(j_common_ptr info)
{
    auto* error = reinterpret_cast<TJpegError*>(info->err);
    (*info->err->format_message)(info, error->Message);
    std::longjmp(error->Jump, 1);
}

}  // namespace

TPicture DecodeJpeg(const std::vector<uint8_t>& data, const std::string& source)
{
    TPicture picture;
    picture.Source = source;
    jpeg_decompress_struct info{};
    TJpegError error{};
    info.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = OnJpegError;
    if (setjmp(error.Jump)) {
        jpeg_destroy_decompress(&info);
        throw ESetupError(source + ": " + error.Message);
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, const_cast<unsigned char*>(data.data()), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    picture.Width = int(info.output_width);
    picture.Height = int(info.output_height);
    size_t stride = (size_t(picture.Width) * 3 + 3) & ~size_t(3);
    picture.Pixels.assign(stride * size_t(picture.Height), 0);
    std::vector<uint8_t> row(size_t(picture.Width) * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row.data()};
        size_t y = info.output_scanline;
        jpeg_read_scanlines(&info, rows, 1);
        uint8_t* out = &picture.Pixels[y * stride];
        for (int x = 0; x < picture.Width; ++x) {
            out[x * 3] = row[x * 3 + 2];
            out[x * 3 + 1] = row[x * 3 + 1];
            out[x * 3 + 2] = row[x * 3];
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return picture;
}

TPicture LoadSidePicture(const TPackageFileOpener& open, int dpi)
{
    std::string opened;
    std::unique_ptr<TStream> stream = dpi < 192 ? open("Setup.jpg", "", &opened) : open("Setup@2x.jpg", "Setup.jpg", &opened);
    std::vector<uint8_t> bytes(size_t(stream->Size() - stream->Position()));
    if (!bytes.empty()) stream->ReadBuffer(bytes.data(), bytes.size());
    try {
        return DecodeJpeg(bytes, opened);
    } catch (const ESetupError&) {
        // The decoder's own words mean nothing to a musician: say it in ours.
        throw ESetupError(FormatMessageText(Msg::SidePictureUnreadable, {opened}));
    }
}
