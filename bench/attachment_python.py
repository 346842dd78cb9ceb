"""Per customer, what a Python script does for the same mail: builds the message with the email
package (the text and the 5 MB file, encoded again for each message), and sends it with smtplib over
one connection. Prints the seconds the messages took."""

import smtplib
import sys
import time
from email.message import EmailMessage
from email.policy import SMTP

host, port, count, path = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
with open(path, "rb") as source:
    content = source.read()

TEXT = "你好， 张三,  \n" + "本店新品已上架，全场八折，欢迎光临选购。\n" * 12

with smtplib.SMTP(host, port) as client:
    client.ehlo("bench.test")
    start = time.perf_counter()
    for _ in range(count):
        msg = EmailMessage(policy=SMTP)
        msg["From"] = "上海星辰贸易有限公司 <from@bench.test>"
        msg["Subject"] = "【新品上市】秋季新款，欢迎选购！"
        msg["To"] = "to@bench.test"
        msg.set_content(TEXT)
        msg.add_attachment(content, maintype="application", subtype="pdf", filename="2024年秋季价格表.pdf")
        client.send_message(msg, mail_options=["BODY=8BITMIME"])
    elapsed = time.perf_counter() - start
print(elapsed)
