// Replacing a whole file so that a failure leaves the old one untouched.
#pragma once

#include <string>

#include "text/text.h"

namespace tessaly {

// Writes content to a new file beside path, flushes it to disk and renames it
// over path. Any failure (no space, a size limit, a directory standing at
// path, a missing directory) removes the new file, leaves whatever was at
// path as it was, and gives false. path is in the file system's encoding.
bool ReplaceFileContents(const std::string& path, const Bytes& content);

}  // namespace tessaly
