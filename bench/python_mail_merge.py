#!/usr/bin/python3
"""A plain Python mail merge, the yardstick of Tramelo's campaign benchmark:
it reads the recipient rows from the same SQLite table, merges every field
into the same subject and body, and sends one message per row with the email
package and smtplib, one session each, as a Tramelo campaign without grouping
does. One client, no concurrency. With --one-session every message goes
through the same session, as a mail merge that keeps its connection does.

Usage:
  python_mail_merge.py DATABASE TABLE ADDRESS_FIELD HOST PORT
      --subject TEXT --body FILE --sender ADDRESS --sender-name NAME [--one-session]

The body file is read as Windows-1252. A placeholder is "<<<", a field's name
and ">>>"; fields are merged in the table's order, so a value may hold a later
field's placeholder; null fields leave theirs.

Prints one JSON object: count (messages sent), seconds (from opening the
database to the last session closed), processor_seconds, per_second.
"""

import argparse
import json
import smtplib
import sqlite3
import time
from email.message import EmailMessage

# Given explicitly: smtplib would otherwise ask the name servers for this
# machine's fully qualified name.
HELO_NAME = "bench.tramelo.test"


def merge_fields(text, names, row):
    for name, value in zip(names, row):
        if value is not None:
            text = text.replace(f"<<<{name}>>>", str(value))
    return text


def send_campaign(args, subject, body):
    sent = 0
    database = sqlite3.connect(args.database)
    session = None
    if args.one_session:
        session = smtplib.SMTP(args.host, args.port, local_hostname=HELO_NAME)
        session.helo()
    try:
        cursor = database.execute(f'SELECT * FROM "{args.table}"')
        names = [column[0] for column in cursor.description]
        address_index = names.index(args.address_field)
        for row in cursor:
            recipient = row[address_index]
            if recipient is None:
                continue
            message = EmailMessage()
            message["From"] = f"{args.sender_name} <{args.sender}>"
            message["To"] = recipient
            message["Reply-To"] = args.sender
            message["Subject"] = merge_fields(subject, names, row)
            message.set_content(merge_fields(body, names, row), subtype="html", charset="iso-8859-1", cte="8bit")
            # SMTP lines end in CR LF; smtplib sends bytes as they are, and a
            # strict server refuses bare line feeds.
            data = message.as_bytes(policy=message.policy.clone(linesep="\r\n"))
            if session:
                session.sendmail(args.sender, [recipient], data)
            else:
                client = smtplib.SMTP(args.host, args.port, local_hostname=HELO_NAME)
                client.helo()
                client.sendmail(args.sender, [recipient], data)
                client.quit()
            sent += 1
    finally:
        if session:
            session.quit()
        database.close()
    return sent


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("database")
    parser.add_argument("table")
    parser.add_argument("address_field")
    parser.add_argument("host")
    parser.add_argument("port", type=int)
    parser.add_argument("--subject", required=True)
    parser.add_argument("--body", required=True)
    parser.add_argument("--sender", required=True)
    parser.add_argument("--sender-name", required=True)
    parser.add_argument("--one-session", action="store_true")
    args = parser.parse_args()
    with open(args.body, encoding="cp1252") as body_file:
        body = body_file.read()

    started = time.perf_counter()
    processor_started = time.process_time()
    sent = send_campaign(args, args.subject, body)
    seconds = time.perf_counter() - started
    print(json.dumps({"count": sent, "seconds": seconds,
                      "processor_seconds": time.process_time() - processor_started,
                      "per_second": sent / seconds if seconds > 0 else None}))


if __name__ == "__main__":
    main()
