#include "RunQuestion.h"

#include "ServerTrust.h"

void agree(sqlite3 *handle, const RunQuestion &question)
{
    switch (question.kind) {
    case RunQuestion::Kind::TrustCertificate:
    case RunQuestion::Kind::ReplaceCertificate:
        writeTrustedFingerprint(handle, question.host, question.port, question.fingerprint);
        return;
    case RunQuestion::Kind::CleartextLogin:
        writeCleartextLoginAgreed(handle, question.host, question.port, question.userName);
        return;
    }
}
