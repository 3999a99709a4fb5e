#pragma once
// The wizard's side picture: Setup.jpg, or Setup@2x.jpg on screens of 192 DPI
// and more (with Setup.jpg as fallback), decoded with libjpeg.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Stream.h"

struct TPicture {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Pixels;  // rows top-down, 3 bytes a pixel, blue green red, rows padded to 4 bytes
    std::string Source;           // the entry or file it came from
};

// Decodes JPEG data; ESetupError when the data is no JPEG image.
TPicture DecodeJpeg(const std::vector<uint8_t>& data, const std::string& source);
// Opens a file of the package by name, else by the alternative name, and
// tells which it opened; the file-open error when there is neither.
using TPackageFileOpener =
    std::function<std::unique_ptr<TStream>(const std::string& name, const std::string& alternative, std::string* opened)>;
// Picks and loads the side picture for the DPI; the file-open error when
// there is none.
TPicture LoadSidePicture(const TPackageFileOpener& open, int dpi);
