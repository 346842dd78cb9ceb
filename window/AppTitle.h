#pragma once

#include <QString>

namespace boxes {

// The title that captions every message box: the program file's name without its directory, cut
// at the first full stop, every character after the first lower-cased ("TOOL.EXE" gives "Tool").
QString applicationTitleFor(const QString &programPath);

// The error box's text: a full stop is appended when the text is not empty and its last character
// sorts above the full stop itself, so texts already ending in punctuation are left alone.
QString errorBoxText(const QString &message);

} // namespace boxes
