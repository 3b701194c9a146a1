#!/usr/bin/python3
"""A real SMTP server for Tramelo's tests: Debian's aiosmtpd on 127.0.0.1.

Every accepted message is saved in the folder as NNNNNN.eml (the data as the
client sent it, without the SMTP dot-stuffing) and NNNNNN.json (envelope
sender, recipients, HELO/EHLO name, login name); the JSON file appears last,
so a reader that sees it finds the message complete. The message is saved
before the server answers the final ".".

Prints "READY <port>" once it listens (the system chooses the port) and ends
when its standard input closes, so it never outlives the test that started it.

With --user and --password, AUTH LOGIN and PLAIN are offered (without TLS,
or only inside TLS when TLS is on) and only that pair is accepted; without
them no AUTH is offered at all. aiosmtpd's LOGIN prompts are "User Name\\0"
and "Password\\0" in base64: "334 VXNlciBOYW1lAA==" and "334 UGFzc3dvcmQA".

With --tls starttls the server offers STARTTLS and refuses every command but
EHLO, NOOP, STARTTLS and QUIT before it; with --tls implicit every connection
is TLS from its first byte. Both present --cert with its --key.
--inject-after-starttls TEXT sends TEXT in the clear right after the
"220" that answers STARTTLS, in the same write, as an attacker on the way
would. --exclude-mechanism NAME leaves a login mechanism out of the offer.
--command-log FILE gets every command line the server read, one a
line (AUTH arguments masked by aiosmtpd), each written as it arrives.
"""

import argparse
import asyncio
import json
import logging
import os
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

# An explicit name: without it aiosmtpd asks the name servers for this
# machine's fully qualified name.
SERVER_NAME = "aiosmtpd.tramelo.test"


class Handler:
    def __init__(self, folder, rejected_texts):
        self.folder = folder
        self.rejected_texts = rejected_texts
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if any(text in address for text in self.rejected_texts):
            return f"550 5.1.1 <{address}>: Recipient address rejected"
        envelope.rcpt_tos.append(address)
        return "250 2.1.5 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        stem = os.path.join(self.folder, f"{self.count:06d}")
        with open(stem + ".eml", "wb") as data_file:
            data_file.write(envelope.original_content)
        ssl_object = server.transport.get_extra_info("ssl_object")
        envelope_info = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "helo": session.host_name,
            "login": session.auth_data if session.authenticated else None,
            "mechanism": getattr(session, "tramelo_mechanism", None),
            "tls": ssl_object.version() if ssl_object else None,
            "resumed": bool(ssl_object and ssl_object.session_reused),
        }
        with open(stem + ".json.part", "w", encoding="utf-8") as info_file:
            json.dump(envelope_info, info_file)
        os.replace(stem + ".json.part", stem + ".json")
        return "250 2.0.0 Message accepted"


def make_authenticator(user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        accepted = (isinstance(auth_data, LoginPassword)
                    and auth_data.login == user.encode()
                    and auth_data.password == password.encode())
        if accepted:
            session.tramelo_mechanism = mechanism
        # handled=False: aiosmtpd then answers a refusal with 535 itself.
        return AuthResult(success=accepted, handled=False, auth_data=user if accepted else None)
    return authenticate


class InjectingSMTP(SMTP):
    """Writes the injected text in the same write as the STARTTLS "220"."""

    injected = b""

    async def push(self, status):
        if isinstance(status, str) and status.startswith("220 Ready to start TLS") and self.injected:
            self._writer.write(status.encode("ascii") + b"\r\n" + self.injected)
            await self._writer.drain()
            return
        await super().push(status)


class CommandLog(logging.Handler):
    """aiosmtpd logs every command line it reads as "%r >> %r"."""

    def __init__(self, path):
        super().__init__()
        self.file = open(path, "w", encoding="utf-8")

    def emit(self, record):
        if record.msg == "%r >> %r":
            self.file.write(record.args[1].decode("utf-8", "replace") + "\n")
            self.file.flush()


def server_tls_context(cert, key):
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)
    return context


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--auth-required", action="store_true")
    parser.add_argument("--reject-rcpt-containing", action="append", default=[])
    parser.add_argument("--tls", choices=["starttls", "implicit"])
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--inject-after-starttls", default="")
    parser.add_argument("--command-log")
    parser.add_argument("--exclude-mechanism", action="append", default=[])
    args = parser.parse_args()
    with_login = args.user is not None and args.password is not None
    tls_context = server_tls_context(args.cert, args.key) if args.tls else None
    starttls = args.tls == "starttls"
    InjectingSMTP.injected = args.inject_after_starttls.encode("latin-1")
    if args.command_log:
        command_log = logging.getLogger("mail.log")
        command_log.setLevel(logging.INFO)
        command_log.propagate = False
        command_log.addHandler(CommandLog(args.command_log))

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    handler = Handler(args.folder, args.reject_rcpt_containing)

    def new_session():
        return InjectingSMTP(handler,
                             hostname=SERVER_NAME,
                             loop=loop,
                             tls_context=tls_context if starttls else None,
                             require_starttls=starttls,
                             # Inside implicit TLS aiosmtpd does not know it is in TLS.
                             auth_require_tls=starttls or not with_login and not args.tls,
                             auth_required=args.auth_required,
                             auth_exclude_mechanism=args.exclude_mechanism,
                             authenticator=make_authenticator(args.user, args.password) if with_login else None)

    def stop_when_stdin_closes():
        if not os.read(sys.stdin.fileno(), 4096):
            loop.stop()

    server = loop.run_until_complete(loop.create_server(
        new_session, host="127.0.0.1", port=0, ssl=tls_context if args.tls == "implicit" else None))
    loop.add_reader(sys.stdin.fileno(), stop_when_stdin_closes)
    print(f"READY {server.sockets[0].getsockname()[1]}", flush=True)
    loop.run_forever()


if __name__ == "__main__":
    main()
