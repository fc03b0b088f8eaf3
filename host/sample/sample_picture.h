// Pictures of the screen for the sample application's unattended run: a part
// of the screen copied into memory and written as a PNG file. Plain GDI has
// no PNG writer, so the encoder is here (uncompressed deflate blocks).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace sample {

// Top-down rows of 3-byte pixels in R, G, B order, no padding.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<BYTE> rgb;
};

// Copies this rectangle of the screen (screen coordinates), cut to the
// screen. False when nothing of it is on the screen or GDI fails.
bool CaptureScreen(const RECT& area, Picture& out);

// The PNG file for the picture: 8-bit RGB, not interlaced.
std::vector<BYTE> EncodePng(const Picture& picture);

bool WritePng(const std::string& path, const Picture& picture);

}  // namespace sample
