#!/usr/bin/python3
# Verifies the DKIM signature of the message on standard input with Debian's
# python3-dkim, no network. Usage: dkim_verify.py NAME RECORD < MESSAGE, where
# NAME is where the key is published ("selector._domainkey.domain") and RECORD
# the TXT record there ("v=DKIM1; k=rsa; p=..."); a look-up of any other name
# finds nothing. Prints "pass", or "fail: " and python3-dkim's reasons.

import io
import logging
import sys

import dkim

name, record = sys.argv[1:3]
reasons = io.StringIO()
logger = logging.getLogger("dkim_verify")
logger.addHandler(logging.StreamHandler(reasons))
signed = dkim.DKIM(sys.stdin.buffer.read(), logger=logger)
try:
    verified = signed.verify(dnsfunc=lambda query, timeout=5: record.encode() if query.decode().rstrip(".") == name else None)
except dkim.DKIMException as error:
    reasons.write(str(error))
    verified = False
print("pass" if verified else "fail: " + reasons.getvalue().replace("\n", "; "))
