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
  python_smtp_bench.py HOST PORT one-session-messages COUNT [--body FILE]
      The same messages, all in one session: HELO once, QUIT after the last.
  python_smtp_bench.py HOST PORT starttls-messages COUNT --cafile FILE [--body FILE]
      The same messages, each session with EHLO, starttls() and EHLO again;
      the server's certificate is verified against FILE and HOST with one
      context made before the loop, as a program sending many messages would.

Prints one JSON object: mode, count, seconds, cpu_seconds (the process's
processor time in the loop), per_second.
"""

import argparse
import json
import smtplib
import ssl
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


def build_message(index, body):
    message = EmailMessage()
    message["From"] = f"Tramelo Bench <{SENDER}>"
    recipient = f"recipient{index}@bench.tramelo.test"
    message["To"] = recipient
    message["Subject"] = f"Butlletí número {index}"
    message.set_content(body, subtype="html", charset="iso-8859-1")
    # SMTP lines end in CR LF; smtplib sends bytes as they are.
    return recipient, message.as_bytes(policy=message.policy.clone(linesep="\r\n"))


def run_one_session_messages(host, port, count, body):
    client = smtplib.SMTP(host, port, local_hostname=HELO_NAME)
    client.helo()
    for index in range(count):
        recipient, data = build_message(index, body)
        client.sendmail(SENDER, [recipient], data)
    client.quit()


def run_messages(host, port, count, body, tls_context=None):
    for index in range(count):
        recipient, data = build_message(index, body)
        client = smtplib.SMTP(host, port, local_hostname=HELO_NAME)
        if tls_context:
            client.ehlo()
            client.starttls(context=tls_context)
            client.ehlo()
        else:
            client.helo()
        client.sendmail(SENDER, [recipient], data)
        client.quit()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("host")
    parser.add_argument("port", type=int)
    parser.add_argument("mode", choices=["sessions", "messages", "one-session-messages", "starttls-messages"])
    parser.add_argument("count", type=int)
    parser.add_argument("--body")
    parser.add_argument("--cafile")
    args = parser.parse_args()
    tls_context = ssl.create_default_context(cafile=args.cafile) if args.mode == "starttls-messages" else None
    body = default_body()
    if args.body:
        with open(args.body, encoding="cp1252") as body_file:
            body = body_file.read()

    started = time.perf_counter()
    cpu_started = time.process_time()
    if args.mode == "sessions":
        run_sessions(args.host, args.port, args.count)
    elif args.mode == "one-session-messages":
        run_one_session_messages(args.host, args.port, args.count, body)
    else:
        run_messages(args.host, args.port, args.count, body, tls_context)
    seconds = time.perf_counter() - started
    cpu_seconds = time.process_time() - cpu_started
    print(json.dumps({"mode": args.mode, "count": args.count, "seconds": seconds, "cpu_seconds": cpu_seconds,
                      "per_second": args.count / seconds if seconds > 0 else None}))


if __name__ == "__main__":
    main()
