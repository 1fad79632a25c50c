// The platform side of the copy and export commands: the clipboard, the
// program's directory and whole-file writes.
#pragma once

#include <QString>

#include "text/text.h"

namespace tessaly {

// Puts text on the clipboard as plain text; true when it has been set.
bool SetClipboardText(const Text& text);

// The directory that holds the program's executable, without a trailing "/".
QString RunDirectory();

// Replaces the file at path with content (see ReplaceFileContents): a failed
// write leaves the previous file as it was. False on any failure.
bool WriteFileBytes(const QString& path, const Bytes& content);

}  // namespace tessaly
