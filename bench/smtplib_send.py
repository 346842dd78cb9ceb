"""Sends one message N times over one connection with Python's smtplib; prints the seconds the sends took."""

import smtplib
import sys
import time

host, port, count, path = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
with open(path, "rb") as source:
    data = source.read()

with smtplib.SMTP(host, port) as client:
    client.ehlo("bench.test")
    start = time.perf_counter()
    for _ in range(count):
        client.sendmail("from@bench.test", ["to@bench.test"], data, mail_options=["BODY=8BITMIME"])
    elapsed = time.perf_counter() - start
print(elapsed)
