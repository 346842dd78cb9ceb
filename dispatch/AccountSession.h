#pragma once

#include "SendRunInputs.h"

class Database;
class SmtpSession;

// What the user decided about the account's server before: a certificate trusted by its
// fingerprint, and a login in clear agreed to.
struct ServerDecisions
{
    QString pinnedFingerprint;
    bool cleartextLoginAgreed = false;
};

// Points a session at the account's server, with the protection its port stands for and the
// account's login. A run and a test mail are set up alike, so that the test tries what the run will do.
// Throws Error when the server box's port is not a port, before anything goes on the network.
void useAccount(SmtpSession &session, const SendRunInputs::Account &account);

// Read from the file; a file that lacks the tables (one the program could not bring up to date)
// has decided nothing.
ServerDecisions readServerDecisions(Database &connection, const SendRunInputs::Account &account);
void useDecisions(SmtpSession &session, const ServerDecisions &decisions);
