#!/usr/bin/python3
"""A real SMTP server for Tramelo's tests: Debian's aiosmtpd on 127.0.0.1.

Every accepted message is saved in the folder as NNNNNN.eml (the data as the
client sent it, without the SMTP dot-stuffing) and NNNNNN.json (envelope
sender, recipients, HELO/EHLO name, login name); the JSON file appears last,
so a reader that sees it finds the message complete. The message is saved
before the server answers the final ".".

Prints "READY <port>" once it listens (the system chooses the port) and ends
when its standard input closes, so it never outlives the test that started it.

With --user and --password, AUTH LOGIN and PLAIN are offered without TLS and
only that pair is accepted; without them no AUTH is offered at all.
aiosmtpd's LOGIN prompts are "User Name\\0" and "Password\\0" in base64:
"334 VXNlciBOYW1lAA==" and "334 UGFzc3dvcmQA".
"""

import argparse
import asyncio
import json
import os
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
        envelope_info = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "helo": session.host_name,
            "login": session.auth_data if session.authenticated else None,
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
        # handled=False: aiosmtpd then answers a refusal with 535 itself.
        return AuthResult(success=accepted, handled=False, auth_data=user if accepted else None)
    return authenticate


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--auth-required", action="store_true")
    parser.add_argument("--reject-rcpt-containing", action="append", default=[])
    args = parser.parse_args()
    with_login = args.user is not None and args.password is not None

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    handler = Handler(args.folder, args.reject_rcpt_containing)

    def new_session():
        return SMTP(handler,
                    hostname=SERVER_NAME,
                    loop=loop,
                    auth_require_tls=not with_login,
                    auth_required=args.auth_required,
                    authenticator=make_authenticator(args.user, args.password) if with_login else None)

    def stop_when_stdin_closes():
        if not os.read(sys.stdin.fileno(), 4096):
            loop.stop()

    server = loop.run_until_complete(loop.create_server(new_session, host="127.0.0.1", port=0))
    loop.add_reader(sys.stdin.fileno(), stop_when_stdin_closes)
    print(f"READY {server.sockets[0].getsockname()[1]}", flush=True)
    loop.run_forever()


if __name__ == "__main__":
    main()
