#!/usr/bin/python3
"""A small OAuth 2.0 authorisation server for Tramelo's sign-in tests, on
127.0.0.1 at a port the system chooses, with Debian's python3 alone.

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
GET  /introspect?token=T   {"active": true} while an access token is current.
GET  /secrets      every secret seen or issued, for tests that look for them.
POST /behaviour    JSON that changes the next answers: "authorize" grant,
                   deny, wrong-state or silent (a page, no redirect); "token"
                   normal, html, hang, huge or echo (invalid_grant echoing the
                   form's secrets); "access_lifetime" in seconds.

Access tokens name the account in an ID token (preferred_username and email)
when the scope holds "openid". Prints "READY <port>" once it listens and ends
when its standard input closes.
"""

import argparse, base64, hashlib, json, secrets, sys, threading, time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlencode, urlsplit

SECRET_FIELDS = ("code", "code_verifier", "refresh_token", "client_secret", "device_code")
lock = threading.Lock()
state = {"codes": {}, "refresh": {}, "access": {}, "devices": {}, "seen": set(),
         "behaviour": {"authorize": "grant", "token": "normal", "access_lifetime": 3600}}


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def issue(client, scope):
    access, refresh = "at-" + secrets.token_urlsafe(24), "rt-" + secrets.token_urlsafe(24)
    lifetime = state["behaviour"]["access_lifetime"]
    state["access"][access] = time.time() + lifetime
    state["refresh"][refresh] = (client, scope)
    state["seen"].update((access, refresh))
    answer = {"access_token": access, "token_type": "Bearer", "expires_in": lifetime,
              "refresh_token": refresh, "scope": scope}
    if "openid" in scope.split():
        claims = {"iss": "http://127.0.0.1", "aud": client, "sub": "1",
                  "preferred_username": args.account, "email": args.account}
        answer["id_token"] = ".".join([b64url(b'{"alg":"none"}'), b64url(json.dumps(claims).encode()), ""])
    return 200, answer


def oauth_error(code, description=""):
    return 400 if code != "invalid_client" else 401, {"error": code, "error_description": description}


def token(form):
    client, secret = form.get("client_id", ""), form.get("client_secret", "")
    state["seen"].update(form[k] for k in SECRET_FIELDS if form.get(k))
    if client not in args.client or args.client[client] != secret:
        return oauth_error("invalid_client", "unknown client or wrong secret")
    if state["behaviour"]["token"] == "echo":
        return oauth_error("invalid_grant", "rejected: " + " ".join(form.values()))
    grant = form.get("grant_type")
    if grant == "authorization_code":
        code = state["codes"].pop(form.get("code"), None)
        if (not code or code["client"] != client or code["redirect_uri"] != form.get("redirect_uri")
                or b64url(hashlib.sha256(form.get("code_verifier", "").encode()).digest()) != code["challenge"]):
            return oauth_error("invalid_grant", "code, redirect_uri or code_verifier wrong")
        return issue(client, code["scope"])
    if grant == "refresh_token":
        kept = state["refresh"].pop(form.get("refresh_token"), None)
        if not kept or kept[0] != client:
            return oauth_error("invalid_grant", "refresh token revoked or unknown")
        return issue(client, kept[1])
    if grant == "urn:ietf:params:oauth:grant-type:device_code":
        device = state["devices"].get(form.get("device_code"))
        if not device or device["client"] != client:
            return oauth_error("invalid_grant")
        if time.time() > device["expires"]:
            return oauth_error("expired_token")
        if device["answer"] is None:
            return oauth_error("authorization_pending")
        del state["devices"][form["device_code"]]
        return issue(client, device["scope"]) if device["answer"] == "allow" else oauth_error("access_denied")
    return oauth_error("unsupported_grant_type")


class Handler(BaseHTTPRequestHandler):
    def log_message(self, *_):
        pass

    def send(self, status, body, kind="application/json", headers=()):
        data = body if isinstance(body, bytes) else json.dumps(body).encode()
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
                for device in state["devices"].values():
                    if device["user_code"] == query.get("user_code"):
                        device["answer"] = query.get("answer")
                return self.send(200, b"ok", "text/plain")
            if url.path == "/introspect":
                return self.send(200, {"active": state["access"].get(query.get("token"), 0) > time.time()})
            if url.path == "/secrets":
                return self.send(200, sorted(state["seen"] | set(args.client.values()) - {""}))
        self.send(404, b"", "text/plain")

    def authorize(self, query):
        redirect, behaviour = query.get("redirect_uri", ""), state["behaviour"]["authorize"]
        if (query.get("client_id") not in args.client or query.get("response_type") != "code"
                or query.get("code_challenge_method") != "S256" or not redirect.startswith("http://127.0.0.1:")):
            return self.send(400, b"bad authorisation request", "text/plain")
        if behaviour == "silent":
            return self.send(200, b"<p>sign in here</p>", "text/html")
        answer = {"state": query.get("state", "") + ("x" if behaviour == "wrong-state" else "")}
        if behaviour == "deny":
            answer["error"] = "access_denied"
        else:
            code = "code-" + secrets.token_urlsafe(16)
            state["codes"][code] = {"client": query["client_id"], "redirect_uri": redirect,
                                    "challenge": query.get("code_challenge"), "scope": query.get("scope", "")}
            answer["code"] = code
        self.send(302, b"", "text/plain", [("Location", redirect + "?" + urlencode(answer))])

    def do_POST(self):
        length = min(int(self.headers.get("Content-Length", 0)), 65536)
        body = self.rfile.read(length).decode()
        form = {k: v[0] for k, v in parse_qs(body, keep_blank_values=True).items()}
        path = urlsplit(self.path).path
        with lock:
            if path == "/behaviour":
                state["behaviour"].update(json.loads(body))
                return self.send(200, b"ok", "text/plain")
            if path == "/revoke":
                state["refresh"].pop(form.get("token"), None)
                return self.send(200, b"ok", "text/plain")
            if path == "/devicecode":
                device_code, user_code = "dc-" + secrets.token_urlsafe(16), secrets.token_hex(4).upper()
                state["devices"][device_code] = {"client": form.get("client_id"), "scope": form.get("scope", ""),
                                                 "user_code": user_code, "answer": None,
                                                 "expires": time.time() + args.device_lifetime}
                state["seen"].add(device_code)
                return self.send(200, {"device_code": device_code, "user_code": user_code,
                                       "verification_uri": "http://127.0.0.1:%d/device" % self.server.server_port,
                                       "expires_in": args.device_lifetime, "interval": 1})
            if path != "/token":
                return self.send(404, b"", "text/plain")
            behaviour = state["behaviour"]["token"]
            if behaviour in ("normal", "echo"):
                return self.send(*token(form))
        if behaviour == "hang":
            time.sleep(20)
        if behaviour == "huge":
            return self.send(200, {"access_token": "x" * 100000, "token_type": "Bearer"})
        self.send(502, b"<html><body>Bad gateway</body></html>", "text/html")


parser = argparse.ArgumentParser()
parser.add_argument("--client", action="append", default=[], help="ID or ID:SECRET")
parser.add_argument("--account", default="anna@exemple.cat")
parser.add_argument("--device-lifetime", type=int, default=60)
args = parser.parse_args()
args.client = dict((c.split(":", 1) + [""])[:2] for c in args.client)

server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
threading.Thread(target=server.serve_forever, daemon=True).start()
print("READY %d" % server.server_port, flush=True)
sys.stdin.read()
