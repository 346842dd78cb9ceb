#pragma once

#include "shell/Exception.h"

// The mail subsystem's errors. Every failure of the SMTP session, its connection and the message
// writer is an EIdException (or a kind of it), itself a kind of the general error, so the send run
// can catch them all around one send.
class EIdException : public Exception
{
public:
    using Exception::Exception;
};
