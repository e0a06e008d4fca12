#pragma once

#include <string>
#include <vector>

// Writes width x height RGB pixels (rows from the top) as a PNG file: through libpng on Linux,
// through the Windows Imaging Component on Windows. False with a reason on failure.
bool uv_write_png_file(const std::string& path, int width, int height,
                       const std::vector<unsigned char>& rgb, std::string* error);
