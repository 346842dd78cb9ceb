#pragma once

#include "Error.h"

// The mail subsystem's errors. Every failure of the SMTP session, its connection and the message
// writer is an MailError (or a kind of it), itself a kind of the general error, so the send run
// can catch them all around one send.
class MailError : public Error
{
public:
    using Error::Error;
};
