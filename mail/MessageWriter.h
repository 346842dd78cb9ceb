#pragma once

#include "LineSink.h"
#include "MailMessage.h"

// Writes the DATA text of a message: its header lines, a blank line, the body lines (dot-stuffed, in
// the body's charset) and one more blank line. Not the final "." line, which is the session's.
void writeMessageText(LineSink &sink, MailMessage &msg);
