#!/usr/bin/python3
"""Python's smtplib doing what Tramelo's benchmarks make Tramelo do, for a
side-by-side rate. One plain smtplib.SMTP client, no concurrency.

Usage:
  python_smtp_bench.py HOST PORT sessions COUNT
      COUNT sessions of: connect, greeting, HELO, QUIT.
  python_smtp_bench.py HOST PORT messages COUNT [--body FILE]
      COUNT messages, one session each (connect, greeting, HELO, MAIL FROM,
      one RCPT TO, DATA, QUIT); each message is built with the email package
      from a 4 KB HTML body (FILE, read as Windows-1252, or a built-in one).

Prints one JSON object: mode, count, seconds, per_second.
"""

import argparse
import json
import smtplib
import time
from email.message import EmailMessage

# Given explicitly: smtplib would otherwise ask the name servers for this
# machine's fully qualified name.
HELO_NAME = "bench.tramelo.test"
SENDER = "sender@bench.tramelo.test"


def default_body():
    """4096 bytes of HTML in Windows-1252, with a few accented letters."""
    row = "<p>Benvolgut client, aquesta és una línia de prova del butlletí.</p>\n"
    head, tail = "<html><body>\n", "</body></html>\n"
    rows = ""
    while len((head + rows + row + tail).encode("cp1252")) <= 4096:
        rows += row
    padding = " " * (4096 - len((head + rows + tail).encode("cp1252")))
    return head + rows + padding + tail


def run_sessions(host, port, count):
    for _ in range(count):
        client = smtplib.SMTP(host, port, local_hostname=HELO_NAME)
        client.helo()
        client.quit()


def run_messages(host, port, count, body):
    for index in range(count):
        message = EmailMessage()
        message["From"] = f"Tramelo Bench <{SENDER}>"
        recipient = f"recipient{index}@bench.tramelo.test"
        message["To"] = recipient
        message["Subject"] = f"Butlletí número {index}"
        message.set_content(body, subtype="html", charset="iso-8859-1")
        client = smtplib.SMTP(host, port, local_hostname=HELO_NAME)
        client.helo()
        client.sendmail(SENDER, [recipient], message.as_bytes())
        client.quit()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("host")
    parser.add_argument("port", type=int)
    parser.add_argument("mode", choices=["sessions", "messages"])
    parser.add_argument("count", type=int)
    parser.add_argument("--body")
    args = parser.parse_args()
    body = default_body()
    if args.body:
        with open(args.body, encoding="cp1252") as body_file:
            body = body_file.read()

    started = time.perf_counter()
    if args.mode == "sessions":
        run_sessions(args.host, args.port, args.count)
    else:
        run_messages(args.host, args.port, args.count, body)
    seconds = time.perf_counter() - started
    print(json.dumps({"mode": args.mode, "count": args.count, "seconds": seconds,
                      "per_second": args.count / seconds if seconds > 0 else None}))


if __name__ == "__main__":
    main()
