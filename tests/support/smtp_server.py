"""A real SMTP server for the tests: aiosmtpd on a loopback address, AUTH LOGIN, over plain TCP,
with STARTTLS offered, or with TLS from the first byte; with or without the 8BITMIME extension; with
or without a sending quota (--quota N: MAIL FROM refused with 550 5.4.5 once N messages were accepted).

Every message it accepts is saved as NNNN.eml (the DATA text exactly as received) and NNNN.json (the
envelope, the login and whether the connection was encrypted). Every AUTH attempt that reaches the
login check is written to auth.log as "<mechanism> tls" or "<mechanism> plain". It prints
"LISTENING <port>" once it listens, and stops by itself at its deadline, when its parent process is
gone, or on SIGTERM.
"""

import argparse
import asyncio
import ipaddress
import json
import os
import signal
import logging
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult

# aiosmtpd logs a warning about a deprecated session field it sets itself on every login.
logging.getLogger("mail.log").setLevel(logging.ERROR)
# A client that rightly refuses the test certificate ends the handshake; that is no server fault.
logging.getLogger("asyncio").setLevel(logging.CRITICAL)


def encrypted(server):
    return server.transport is not None and server.transport.get_extra_info("ssl_object") is not None


class Saver:
    def __init__(self, folder, eight_bit_mime, quota):
        self.folder = folder
        self.count = 0
        self.eight_bit_mime = eight_bit_mime
        self.quota = quota

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        # A provider whose sending quota is used up refuses every further sender, on every connection.
        if self.quota and self.count >= self.quota:
            return "550 5.4.5 Daily user sending quota exceeded"
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if self.eight_bit_mime:
            return responses
        return [line for line in responses if line[4:].upper() != "8BITMIME"]

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        stem = os.path.join(self.folder, "%04d" % self.count)
        with open(stem + ".eml.part", "wb") as out:
            out.write(envelope.original_content)
        with open(stem + ".json.part", "w", encoding="utf-8") as out:
            json.dump({
                "mail_from": envelope.mail_from,
                "mail_options": envelope.mail_options,
                "rcpt_tos": envelope.rcpt_tos,
                "login": session.auth_data.login.decode("utf-8", "replace") if session.auth_data else None,
                "tls": encrypted(server),
            }, out)
        # Whole files only: a reader never sees a message half written.
        os.replace(stem + ".eml.part", stem + ".eml")
        os.replace(stem + ".json.part", stem + ".json")
        return "250 2.0.0 Message accepted"


class LoginChecker:
    def __init__(self, user, password, folder):
        self.user = user.encode("utf-8")
        self.password = password.encode("utf-8")
        self.log = os.path.join(folder, "auth.log")

    def __call__(self, server, session, envelope, mechanism, auth_data):
        with open(self.log, "a", encoding="utf-8") as out:
            out.write("%s %s\n" % (mechanism, "tls" if encrypted(server) else "plain"))
        ok = mechanism == "LOGIN" and auth_data.login == self.user and auth_data.password == self.password
        return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)


async def serve(args):
    if not ipaddress.ip_address(args.host).is_loopback:
        sys.exit("loopback addresses only")
    loop = asyncio.get_running_loop()
    saver = Saver(args.folder, not args.no_8bitmime, args.quota)
    checker = LoginChecker(args.user, args.password, args.folder)
    context = None
    if args.tls != "none":
        # A refused certificate ends the session with a traceback that tells the tests nothing.
        logging.getLogger("mail.log").setLevel(logging.CRITICAL)
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    # AUTH is offered before STARTTLS too, so a client that logs in without encryption shows in auth.log.
    def factory():
        return SMTP(saver, authenticator=checker, auth_require_tls=False, auth_exclude_mechanism=["PLAIN"],
                    decode_data=False, hostname="aiosmtpd.test",
                    tls_context=context if args.tls == "starttls" else None)

    server = await loop.create_server(factory, host=args.host, port=args.port, reuse_address=True,
                                      ssl=context if args.tls == "implicit" else None)
    port = server.sockets[0].getsockname()[1]
    print("LISTENING %d" % port, flush=True)

    stop = loop.create_future()
    loop.add_signal_handler(signal.SIGTERM, lambda: stop.done() or stop.set_result(None))
    loop.call_later(args.deadline, lambda: stop.done() or stop.set_result(None))
    parent = os.getppid()

    async def watch_parent():
        while os.getppid() == parent:
            await asyncio.sleep(0.5)
        if not stop.done():
            stop.set_result(None)

    watcher = asyncio.ensure_future(watch_parent())
    await stop
    watcher.cancel()
    server.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--folder", required=True)
    parser.add_argument("--deadline", type=float, default=120)
    parser.add_argument("--tls", choices=["none", "starttls", "implicit"], default="none")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--no-8bitmime", action="store_true")
    parser.add_argument("--quota", type=int, default=0)
    asyncio.run(serve(parser.parse_args()))


if __name__ == "__main__":
    main()
