#pragma once

#include "LineSink.h"
#include "MailMessage.h"

// Writes the DATA text of a message: its header lines, a blank line, then the body: as it is
// (dot-stuffed, in the body's charset) followed by one more blank line, or, when the body must be
// base64, those same lines and blank line in base64. With a file: a multipart/mixed text whose first
// part is that body and whose second is the file in base64. Not the final "." line, which is the
// session's.
// eightBitMime: the server takes 8-bit data (it offered 8BITMIME and MAIL FROM said BODY=8BITMIME).
void writeMessageText(LineSink &sink, MailMessage &msg, bool eightBitMime = false);
