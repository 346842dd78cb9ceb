#include "RunQuestion.h"

#include "ServerTrust.h"

void agree(Database &connection, const RunQuestion &question)
{
    switch (question.kind) {
    case RunQuestion::Kind::TrustCertificate:
    case RunQuestion::Kind::ReplaceCertificate:
        writeTrustedFingerprint(connection, question.host, question.port, question.fingerprint);
        return;
    case RunQuestion::Kind::CleartextLogin:
        writeCleartextLoginAgreed(connection, question.host, question.port, question.userName);
        return;
    }
}
