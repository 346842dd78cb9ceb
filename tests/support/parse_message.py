"""Parses one saved message with Python's email package and prints what a mail reader would show, as JSON."""

import email
import email.policy
import json
import sys
from email.utils import parseaddr

with open(sys.argv[1], "rb") as source:
    message = email.message_from_binary_file(source, policy=email.policy.default)

from_name, from_address = parseaddr(str(message["From"]))
to_name, to_address = parseaddr(str(message["To"]))
print(json.dumps({
    "subject": str(message["Subject"]),
    "from_name": from_name,
    "from_address": from_address,
    "to": str(message["To"]),
    "to_name": to_name,
    "to_address": to_address,
    "reply_to": str(message["Reply-To"]),
    "content_type": message.get_content_type(),
    "charset": message.get_content_charset(),
    "mime_version": str(message["MIME-Version"]),
    "transfer_encoding": message.get("Content-Transfer-Encoding", ""),
    "message_id": str(message["Message-ID"]),
    # The body's own charset when it declares one; an undeclared body is taken as UTF-8 (strictly, so
    # bytes that are not UTF-8 fail here instead of turning into replacement characters).
    "body": message.get_payload(decode=True).decode(message.get_content_charset() or "utf-8"),
    "defects": [type(d).__name__ for d in message.defects],
}, ensure_ascii=False))
