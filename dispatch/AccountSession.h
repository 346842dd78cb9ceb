#pragma once

#include "SendRunInputs.h"

class SmtpSession;

// Points a session at the account's server, with the protection its port stands for and the
// account's login. A run and a test mail are set up alike, so that the test tries what the run will do.
// Throws Error when the server box's port is not a port, before anything goes on the network.
void useAccount(SmtpSession &session, const SendRunInputs::Account &account);
