#!/usr/bin/python3
"""A small OAuth 2.0 authorisation server for Tramelo's sign-in tests, on
127.0.0.1 at a port the system chooses, with Debian's python3 alone:
    oauth_server.py DEVICE_CODE_LIFETIME CLIENT...
where a client is ID (public) or ID:SECRET.

GET  /authorize    RFC 6749 4.1 with PKCE S256 (RFC 7636) only: redirects to a
                   loopback redirect_uri "http://127.0.0.1:PORT/" with a code
                   and the state.
POST /token        authorization_code (checks the client, its secret when it
                   has one, the redirect_uri and the code_verifier; a code
                   works once), refresh_token (rotating: the old one dies) and
                   the device_code grant of RFC 8628.
POST /devicecode   RFC 8628 3.1; GET /device?user_code=X&answer=allow|deny is
                   the person's side.
POST /revoke       RFC 7009, for a refresh token.
GET  /secrets      every secret seen or issued, for tests that look for them.
POST /behaviour    JSON that changes the next answers: "authorize" grant,
                   deny, wrong-state or silent (a page, no redirect); "token"
                   normal, html, hang, huge, echo (invalid_grant echoing the
                   form's secrets) or consent (Microsoft's consent_required);
                   "access_lifetime" in seconds; "account".

When the scope holds "openid", grants name the account (anna@exemple.cat
unless "account" says otherwise) in an ID token: in "email" for a client with
a secret, in "preferred_username" for one without. Prints "READY <port>" once it
listens and ends when its standard input closes.
"""

import base64, hashlib, json, secrets, sys, threading, time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlencode, urlsplit

SECRET_FIELDS = ("code", "code_verifier", "refresh_token", "client_secret", "device_code")
lock = threading.Lock()
codes, refresh_tokens, devices, seen = {}, {}, {}, set()
behaviour = {"authorize": "grant", "token": "normal", "access_lifetime": 3600, "account": "anna@exemple.cat"}


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def issue(client, scope):
    access, refresh = "at-" + secrets.token_urlsafe(24), "rt-" + secrets.token_urlsafe(24)
    refresh_tokens[refresh] = (client, scope)
    seen.update((access, refresh))
    answer = {"access_token": access, "token_type": "Bearer", "expires_in": behaviour["access_lifetime"],
              "refresh_token": refresh, "scope": scope}
    if "openid" in scope.split():  # as Google does for a client with a secret, Microsoft for one without
        name = "email" if clients[client] else "preferred_username"
        claims = {"aud": client, "sub": "1", name: behaviour["account"]}
        answer["id_token"] = "%s.%s." % (b64url(b'{"alg":"none"}'), b64url(json.dumps(claims).encode()))
    return 200, answer


def refuse(code, description=""):
    return 401 if code == "invalid_client" else 400, {"error": code, "error_description": description}


def token(form):
    client, grant = form.get("client_id", ""), form.get("grant_type")
    seen.update(form[k] for k in SECRET_FIELDS if form.get(k))
    if clients.get(client) != form.get("client_secret", ""):
        return refuse("invalid_client", "unknown client or wrong secret")
    if behaviour["token"] == "echo":
        return refuse("invalid_grant", "rejected: " + " ".join(form.values()))
    if behaviour["token"] == "consent":  # as Microsoft says it
        return 400, {"error": "invalid_grant", "suberror": "consent_required", "error_description": "AADSTS65001"}
    if grant == "authorization_code":
        code = codes.pop(form.get("code"), {})
        verifier = b64url(hashlib.sha256(form.get("code_verifier", "").encode()).digest())
        if (code.get("client"), code.get("redirect_uri"), code.get("challenge")) != (client, form.get("redirect_uri"),
                                                                                     verifier):
            return refuse("invalid_grant", "code, redirect_uri or code_verifier wrong")
        return issue(client, code["scope"])
    if grant == "refresh_token":
        kept = refresh_tokens.pop(form.get("refresh_token"), None)
        return issue(*kept) if kept and kept[0] == client else refuse("invalid_grant", "revoked or unknown")
    device = devices.get(form.get("device_code"), {})
    if grant != "urn:ietf:params:oauth:grant-type:device_code" or device.get("client") != client:
        return refuse("invalid_grant")
    if time.time() > device["expires"]:
        return refuse("expired_token")
    if not device["answer"]:
        return refuse("authorization_pending")
    del devices[form["device_code"]]
    return issue(client, device["scope"]) if device["answer"] == "allow" else refuse("access_denied")


class Handler(BaseHTTPRequestHandler):
    def send(self, status, body, headers=()):  # bytes as HTML, anything else as JSON
        data, kind = (body, "text/html") if isinstance(body, bytes) else (json.dumps(body).encode(), "application/json")
        self.send_response(status)
        for name, value in [("Content-Type", kind), ("Content-Length", str(len(data)))] + list(headers):
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        url = urlsplit(self.path)
        query = {k: v[0] for k, v in parse_qs(url.query).items()}
        with lock:
            if url.path == "/authorize":
                return self.authorize(query)
            if url.path == "/device":
                for device in devices.values():
                    if device["user_code"] == query.get("user_code") and query.get("answer") in ("allow", "deny"):
                        device["answer"] = query["answer"]
                return self.send(200, b"ok")
            if url.path == "/secrets":
                return self.send(200, sorted(seen | set(clients.values()) - {""}))
        self.send(404, b"")

    def authorize(self, query):
        redirect = query.get("redirect_uri", "")
        if (query.get("client_id") not in clients or query.get("response_type") != "code"
                or query.get("code_challenge_method") != "S256" or not redirect.startswith("http://127.0.0.1:")):
            return self.send(400, b"bad authorisation request")
        if behaviour["authorize"] == "silent":
            return self.send(200, b"<p>sign in here</p>")
        answer = {"state": query.get("state", "") + ("x" if behaviour["authorize"] == "wrong-state" else "")}
        if behaviour["authorize"] == "deny":
            answer["error"] = "access_denied"
        else:
            answer["code"] = "code-" + secrets.token_urlsafe(16)
            codes[answer["code"]] = {"client": query["client_id"], "redirect_uri": redirect,
                                     "challenge": query.get("code_challenge"), "scope": query.get("scope", "")}
        self.send(302, b"", [("Location", redirect + "?" + urlencode(answer))])

    def do_POST(self):
        body = self.rfile.read(min(int(self.headers.get("Content-Length", 0)), 65536)).decode()
        form = {k: v[0] for k, v in parse_qs(body, keep_blank_values=True).items()}
        path = urlsplit(self.path).path
        with lock:
            if path in ("/behaviour", "/revoke"):
                behaviour.update(json.loads(body)) if path == "/behaviour" else refresh_tokens.pop(form["token"], None)
                return self.send(200, b"ok")
            if path == "/devicecode":
                device_code, user_code = "dc-" + secrets.token_urlsafe(16), secrets.token_hex(4).upper()
                devices[device_code] = {"client": form.get("client_id"), "scope": form.get("scope", ""),
                                        "user_code": user_code, "answer": None,
                                        "expires": time.time() + device_lifetime}
                seen.add(device_code)
                return self.send(200, {"device_code": device_code, "user_code": user_code, "interval": 1,
                                       "verification_uri": "http://127.0.0.1:%d/device" % self.server.server_port,
                                       "expires_in": device_lifetime})
            if behaviour["token"] in ("normal", "echo", "consent"):
                return self.send(*token(form))
        if behaviour["token"] == "hang":
            time.sleep(20)
        if behaviour["token"] == "huge":
            return self.send(200, {"access_token": "x" * 100000, "token_type": "Bearer"})
        self.send(502, b"<html><body>Bad gateway</body></html>")


device_lifetime = int(sys.argv[1])
clients = dict((client.split(":", 1) + [""])[:2] for client in sys.argv[2:])  # ID or ID:SECRET
server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
threading.Thread(target=server.serve_forever, daemon=True).start()
print("READY %d" % server.server_port, flush=True)
sys.stdin.read()
