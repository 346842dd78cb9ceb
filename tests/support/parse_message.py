"""Parses one saved message with Python's email package and prints what a mail reader would show, as JSON."""

import base64
import email
import email.policy
import json
import sys
from email.header import decode_header, make_header
from email.utils import parseaddr

with open(sys.argv[1], "rb") as source:
    raw = source.read()
message = email.message_from_bytes(raw, policy=email.policy.default)
# As a reader that knows no RFC 2231 parameters sees it: the file's name only from name=/filename=.
older = email.message_from_bytes(raw, policy=email.policy.compat32)


def text_of(part):
    # The part's own charset when it declares one; an undeclared body is taken as UTF-8 (strictly, so
    # bytes that are not UTF-8 fail here instead of turning into replacement characters).
    return part.get_payload(decode=True).decode(part.get_content_charset() or "utf-8")


def older_param(part, name, header):
    for key, value in part.get_params(header=header) or []:
        if key == name and isinstance(value, str):
            return str(make_header(decode_header(value)))
    return None


def describe(part, older_part):
    return {
        "content_type": part.get_content_type(),
        "charset": part.get_content_charset(),
        "transfer_encoding": part.get("Content-Transfer-Encoding", ""),
        "disposition": part.get_content_disposition(),
        "filename": part.get_filename(),
        "name": part.get_param("name"),
        "older_filename": older_param(older_part, "filename", "content-disposition"),
        "older_name": older_param(older_part, "name", "content-type"),
        "data": base64.b64encode(part.get_payload(decode=True)).decode("ascii"),
    }


parts = list(message.iter_parts()) if message.is_multipart() else []
older_parts = older.get_payload() if message.is_multipart() else []

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
    "list_unsubscribe": str(message.get("List-Unsubscribe", "")),
    # A message with parts: the first part's text.
    "body": text_of(parts[0] if parts else message),
    "parts": [describe(part, older_part) for part, older_part in zip(parts, older_parts)],
    "defects": [type(d).__name__ for d in message.defects],
}, ensure_ascii=False))
