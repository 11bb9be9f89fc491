#!/usr/bin/env python3
"""An implementation of the request-signing rules written apart from the library,
used to check what `qvadctl sign` prints."""
import hashlib
import sys
import urllib.parse


def split_query(url):
    base, _, query = url.partition("?")
    pairs = {}
    for item in query.split("&"):
        key, _, value = item.partition("=")
        pairs[key] = urllib.parse.unquote(value, errors="strict")
    return base, pairs


def expected_signature(pairs, secret):
    signed = {k: v for k, v in pairs.items() if k not in ("signature", "appSecret")}
    if secret is not None:
        signed["appSecret"] = secret
    # Sort by code points, which for UTF-8 text is the same as by bytes.
    text = ",".join(f"{k}={v}" for k, v in sorted(signed.items()))
    return text, hashlib.sha1(text.encode("utf-8")).hexdigest()


def main():
    secret = sys.argv[1] if len(sys.argv) > 1 and sys.argv[1] != "-" else None
    lines = dict(line.split(": ", 1) for line in sys.stdin.read().splitlines())
    base, pairs = split_query(lines["url"])
    text, signature = expected_signature(pairs, secret)
    problems = []
    if lines["signature"] != signature:
        problems.append(f"signature {lines['signature']} != {signature}")
    if pairs.get("signature") != signature:
        problems.append("the URL carries another signature")
    if "signed" in lines and lines["signed"] != text:
        problems.append(f"signed text differs:\n  tool: {lines['signed']}\n  here: {text}")
    if secret and secret in lines["url"]:
        problems.append("the secret is in the URL")
    for p in problems:
        print(p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
