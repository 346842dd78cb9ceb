#pragma once

#include <QString>

namespace boxes {

// The error box's text: a full stop is appended when the text is not empty and its last character
// sorts above the full stop itself, so texts already ending in punctuation are left alone.
QString errorBoxText(const QString &message);

} // namespace boxes
