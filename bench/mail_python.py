"""The same work as bench_mail, done with Python's standard email package, for comparison.

Builds one message (Chinese sender name and subject, 2 KB Chinese body, three recipients) and writes
it as the DATA text (CRLF lines, dot-stuffed as smtplib does), and reads the 1,000 address-list
texts with email.utils.getaddresses. Prints the best CPU time per message and per 1,000 lists in
microseconds, one "name value" pair a line.
"""

import email.utils
import re
import sys
import time
import timeit
from email.headerregistry import Address
from email.message import EmailMessage
from email.policy import SMTP

BODY_TEXT = "这是一封关于新品介绍的邮件，感谢您一直以来的支持。" * 27  # 675 characters, 2 KB of UTF-8
SUBJECT = "新品介绍：秋季新款上市，欢迎选购"


def address_texts():
    texts = []
    for i in range(250):
        texts.append(f"customer{i}@example.com")
        texts.append(f'"客户 {i}" <c{i}@example.com>')
        texts.append(f"Sales {i} <s{i}@example.com>, t{i}@example.org")
        texts.append(f"grp{i}: a{i}@example.com, b{i}@example.com (备注);")
    return texts


def dot_stuff(data):
    return re.sub(rb"(?m)^\.", b"..", data)


def build_message():
    msg = EmailMessage(policy=SMTP)
    msg["From"] = Address("销售部", "sales", "example.com")
    msg["Subject"] = SUBJECT
    msg["To"] = "a@example.com, b@example.com, c@example.com"
    msg["Reply-To"] = "sales@example.com"
    msg["Date"] = email.utils.formatdate(localtime=True)
    msg["Message-ID"] = email.utils.make_msgid(domain="example.com")
    msg.set_content("你好， 客户甲,  \n" + BODY_TEXT, charset="utf-8", cte="8bit")
    return dot_stuff(msg.as_bytes())


def best_microseconds(function, number):
    # CPU time, as the C++ benchmarks report it next to wall time: the machine is shared.
    return min(timeit.repeat(function, timer=time.process_time, number=number, repeat=5)) / number * 1e6


def main():
    texts = address_texts()
    print("message_us", best_microseconds(build_message, 200))
    print("addresslists_us", best_microseconds(lambda: [email.utils.getaddresses([t]) for t in texts], 5))
    return 0


if __name__ == "__main__":
    sys.exit(main())
