#pragma once
// The wizard's side picture: Setup.jpg, or Setup@2x.jpg on screens of 192 DPI
// and more (with Setup.jpg as fallback), decoded with libjpeg.
#include <cstdint>
#include <string>
#include <vector>

class TSetupInstaller;

struct TPicture {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Pixels;  // rows top-down, 3 bytes a pixel, blue green red, rows padded to 4 bytes
    std::string Source;           // the entry or file it came from
};

// Decodes JPEG data; ESetupError when the data is no JPEG image.
TPicture DecodeJpeg(const std::vector<uint8_t>& data, const std::string& source);
// Picks and loads the side picture for the DPI; the file-open error when
// there is none.
TPicture LoadSidePicture(TSetupInstaller& model, int dpi);
