// The node image on disk: a small line-based text file that a commissioning
// engineer can read and edit (the format is described in host/README.md).
// Saving writes a temporary file next to the target and renames it over the
// target, so a killed host leaves either the old or the new image, whole.
#pragma once

#include <string>

#include "nodeimage.h"

namespace brmodel {

std::string FormatImage(const Image& image);

// Parses text into out. On failure returns false, leaves out unchanged and
// sets error to "line N: what is wrong" (or what is missing).
bool ParseImage(const std::string& text, Image& out, std::string& error);

// Reads and parses a file; errors are prefixed with the path.
bool LoadImage(const std::string& path, Image& out, std::string& error);

// Writes path atomically (creating its folder); on failure the file is left
// as it was and error says why.
bool SaveImage(const std::string& path, const Image& image, std::string& error);

bool FileExists(const std::string& path);

}  // namespace brmodel
