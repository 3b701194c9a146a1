#!/usr/bin/python3
"""Verifies a message's DKIM signature with Debian's python3-dkim, no network.

Usage: dkim_verify.py FILE NAME RECORD
  NAME    where the key is published ("selector._domainkey.domain")
  RECORD  the TXT record there ("v=DKIM1; k=rsa; p=...")
Prints "pass", or "fail: " and the reason. A look-up of any other name finds nothing.
"""

import logging
import sys

import dkim


def main():
    path, name, record = sys.argv[1:4]
    reasons = []

    class Reasons(logging.Handler):
        def emit(self, entry):
            reasons.append(entry.getMessage())

    logger = logging.getLogger("dkim_verify")
    logger.addHandler(Reasons())
    with open(path, "rb") as source:
        message = source.read()

    def lookup(query, timeout=5):
        return record.encode("ascii") if query.decode("ascii").rstrip(".") == name else None

    try:
        verified = dkim.DKIM(message, logger=logger).verify(dnsfunc=lookup)
    except dkim.DKIMException as error:
        verified, reasons = False, [str(error)]
    print("pass" if verified else "fail: " + "; ".join(reasons))


if __name__ == "__main__":
    main()
